#include "search/FileStart.h"

#include <cctype>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/Paths.h"

namespace mv32::search {

using document::Answer;
using document::Buttons;
using document::MessageKind;

namespace {

bool fileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::path(path), ec);
}

bool hasDriveLetter(const std::string& path) {
    return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
}

std::vector<std::string> foldersOf(const std::string& directory) {
    std::vector<std::string> parts;
    std::string part;
    for (char ch : directory) {
        if (ch == '/' || ch == '\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += ch;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

void open(const FileStarter& s, const std::string& path, const std::string& folder) {
    if (!s.open || !s.open(path, folder))
        s.ui.message(MessageKind::Hinweis, kCannotStart, Buttons::Ok);
}

}  // namespace

std::string insertMediumText(const FileRow& file) {
    return std::string(kFileNotFound) + " Bitte legen Sie den Datenträger mit dem Label " +
           file.label + " und der Seriennummer " + file.volId + " ein!";
}

std::optional<std::string> pathOnDrive(const FileRow& file, const platform::Volume& drive,
                                       const std::function<bool(const std::string&)>& exists) {
    const auto there = exists ? exists : fileExists;
    if (hasDriveLetter(file.directory)) {  // a Windows path: the drive letter is the root
        std::string path = file.directory + file.name;
        path[0] = drive.letter;
        if (there(path)) return path;
        return std::nullopt;
    }
    const std::string root = platform::withTrailingSeparator(drive.root);
    const std::vector<std::string> folders = foldersOf(file.directory);
    for (size_t skip = 0; skip <= folders.size(); ++skip) {
        std::string path = root;
        for (size_t i = skip; i < folders.size(); ++i) path += folders[i] + platform::separator();
        path += file.name;
        if (there(path)) return path;
    }
    return std::nullopt;
}

void startFile(const FileStarter& s, const FileRow& file) {
    const auto there = s.exists ? s.exists : fileExists;
    const std::string path = file.directory + file.name;
    if (there(path)) {
        open(s, path, file.directory);
        return;
    }
    if (s.ui.message(MessageKind::Fehler, insertMediumText(file), Buttons::OkAbbrechen) !=
        Answer::Ok)
        return;
    const std::optional<platform::Volume> drive = s.chooseDrive ? s.chooseDrive() : std::nullopt;
    if (!drive) return;
    const std::optional<std::string> moved = pathOnDrive(file, *drive, there);
    if (!moved) {
        s.ui.message(MessageKind::Hinweis, kFileNotFound, Buttons::Ok);
        return;
    }
    open(s, *moved, platform::folderOf(*moved));
}

}  // namespace mv32::search
