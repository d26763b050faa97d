// Where the program keeps its files on this platform.
//
// ProgramDir holds the undo table, the Explorer catalog, the backup copies and the log; it is the
// folder of the program file where that folder is writable, else a per-user data folder, and
// MV32_HOME overrides both. Paths the program builds end in the native separator, so that
// programDir() + "mv32.log" names a file.
#pragma once

#include <string>

namespace mv32::platform {

// The native path separator as text ("/" here, "\" on Windows).
const char* separator();
// The path with one separator at its end.
std::string withTrailingSeparator(std::string path);

// The folder of the running program file, with a trailing separator.
std::string executableDir();
// ProgramDir as described above, created when missing (`created` tells whether it was); with a
// trailing separator.
std::string programDir(bool* created = nullptr);
// The file of the settings store (Linux: $XDG_CONFIG_HOME/mavrel32/settings.ini).
std::string settingsFilePath();
// The folder for the single-instance lock files ($XDG_RUNTIME_DIR, else the temp folder).
std::string runtimeDir();
// The system's folder for temporary files, with a trailing separator.
std::string tempDir();

// Creates a folder with all missing parents; false when that fails.
bool createFolders(const std::string& path);

// The part after the last separator, and the part up to and including it.
std::string fileNameOf(const std::string& path);
std::string folderOf(const std::string& path);

}  // namespace mv32::platform
