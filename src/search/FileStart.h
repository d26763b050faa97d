// "&Execute" of the file search: starts a found file with the program the desktop associates
// with it, in the file's folder. When the file is not there (its medium is not mounted), the
// person is asked for the medium by label and serial, chooses the drive it is in now, and the
// file is started from there: the medium's old mount root in the stored folder is replaced by
// the drive's root (on Windows: the drive letter).
//
// The old mount root is not stored with a file; it is found by trying the stored folder below
// the new root with ever fewer of its leading folders, the longest that exists first, so a
// medium scanned at /media/alt/FOTOS/ is found again at /run/media/neu/FOTOS/.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "document/UserInterface.h"
#include "platform/Volumes.h"
#include "search/FileSearch.h"

namespace mv32::search {

inline constexpr const char* kCannotStart =
    "Die Datei kann nicht ausgeführt werden!\r\n\r\nMögliche Erklärungen:\r\n\r\n1. Arbeiten Sie "
    "unter Windows NT, sind bestimmte Dateien auf diese Art nicht ausführbar.\r\n2. Die Datei ist "
    "mit keiner Anwendung verknüpft.";
inline constexpr const char* kFileNotFound = "Die Datei konnte nicht gefunden werden!";

// "Die Datei konnte nicht gefunden werden! Bitte legen Sie den Datenträger mit dem Label …".
std::string insertMediumText(const FileRow& file);

struct FileStarter {
    document::UserInterface& ui;
    // The desktop's "open" of `file` with `folder` as working directory; false on failure.
    std::function<bool(const std::string& file, const std::string& folder)> open;
    // TLaufwerk: the drive the person chose, none when they did not confirm.
    std::function<std::optional<platform::Volume>()> chooseDrive;
    // Whether a file exists (default: the file system).
    std::function<bool(const std::string& path)> exists;
};

// Where the file is on `drive`, when it is there.
std::optional<std::string> pathOnDrive(const FileRow& file, const platform::Volume& drive,
                                       const std::function<bool(const std::string&)>& exists);

// ExecFileClick.
void startFile(const FileStarter& starter, const FileRow& file);

}  // namespace mv32::search
