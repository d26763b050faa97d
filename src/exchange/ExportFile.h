// A file the exports write in pieces that replaces its target only when it is complete: the
// bytes go to a temporary file beside the target, which commit() syncs and renames over it. A
// failure on the way (a full disk, a medium that cannot be written) leaves the target as it
// was and removes the temporary file, so an export never leaves half a list behind.
//
// A file can be set aside and taken up again (the HTML export keeps one page per initial and
// returns to a page when its initial comes again), so that any number of pages costs one open
// handle at a time. Failures throw EngineError with a German message naming the target.
#pragma once

#include <string>
#include <string_view>

namespace mv32::exchange {

class ExportFile {
public:
    explicit ExportFile(std::string target);
    ~ExportFile();
    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;

    const std::string& target() const { return target_; }
    void write(std::string_view bytes);
    // Closes the handle until the next write.
    void setAside();
    // Syncs the bytes and puts them in the target's place.
    void commit();

private:
    void flush();
    void open(bool fresh);
    [[noreturn]] void fail(int err, const char* action);

    std::string target_;
    std::string temp_;
    int fd_ = -1;
    bool committed_ = false;
    std::string buffer_;
};

}  // namespace mv32::exchange
