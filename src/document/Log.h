// The log file mv32.log in the program folder.
//
// WriteLogLine appends one line: the local date in the short format, one blank, the local time in
// the long format, one blank, the message, CR LF; the text is windows-1252 like every text file
// of the program. It writes only while logging is on (the setting CreateLogFile) and then creates
// the file when it is missing. A failure to write throws std::runtime_error naming the file, as
// any file error does. User-interface thread, or a scan thread while the user-interface thread
// waits for it.
#pragma once

#include <functional>
#include <string>

#include "platform/Clock.h"

namespace mv32::document {

class Log {
public:
    Log(std::string programDir, const platform::Clock& clock)
        : path_(std::move(programDir) + "mv32.log"), clock_(clock) {}

    void setEnabled(bool on) { enabled_ = on; }
    bool enabled() const { return enabled_; }
    const std::string& path() const { return path_; }

    void WriteLogLine(const std::string& message);

    // Sees every line, written or not (logging off): a run nobody watches keeps its lines to
    // tell them on standard error when it fails.
    std::function<void(const std::string& message)> echo;

private:
    std::string path_;
    const platform::Clock& clock_;
    bool enabled_ = true;
};

}  // namespace mv32::document
