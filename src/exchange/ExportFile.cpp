#include "exchange/ExportFile.h"

namespace mv32::exchange {

namespace {

constexpr size_t kBuffer = 1 << 16;

engine::ReplacingFile::Options withNames(const std::vector<std::string>* folderNames) {
    engine::ReplacingFile::Options options;
    options.folderNames = folderNames;
    return options;
}

}  // namespace

ExportFile::ExportFile(std::string target, const std::vector<std::string>* folderNames)
    : file_(engine::FileSystem::real(), std::move(target), withNames(folderNames)) {}

void ExportFile::write(std::string_view bytes) {
    if (spent_) return;
    buffer_.append(bytes);
    if (buffer_.size() >= kBuffer) flush();
}

void ExportFile::flush() {
    if (buffer_.empty()) return;
    try {
        file_.write(at_, buffer_);
    } catch (...) {
        // A full disk: nothing of the file waits beside the target until the export ends.
        spent_ = true;
        file_.discard();
        throw;
    }
    at_ += buffer_.size();
    buffer_.clear();
}

void ExportFile::commit() {
    if (spent_) return;
    flush();
    spent_ = true;
    file_.commit();
}

}  // namespace mv32::exchange
