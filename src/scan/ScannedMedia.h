// The list of scanned media mv32list.chk in the program folder: one line per medium, the label
// followed at once by the 8 serial digits, CR LF, windows-1252. The dialog scans append a line
// the first time they read a medium; emptying the file list deletes the file.
//
// Every change rewrites the file through a temporary file and a rename, so a crash leaves the
// old or the new list, never half a line.
#pragma once

#include "document/FileListTable.h"

#include <string>
#include <vector>

namespace mv32::scan {

class ScannedMedia {
public:
    explicit ScannedMedia(std::string programDir)
        : path_(std::move(programDir) + document::filelist::kScannedMediaName) {}

    const std::string& path() const { return path_; }
    // Every line (label + serial); a missing file is an empty list. Throws when unreadable.
    std::vector<std::string> lines() const;
    bool contains(const std::string& label, const std::string& serial) const;
    // Creates the file empty when it is missing.
    void ensureExists() const;
    void append(const std::string& label, const std::string& serial) const;
    // Removes the line of one medium (the removal of a medium's records does).
    void remove(const std::string& label, const std::string& serial) const;
    // Deletes the file; a failure is ignored.
    void deleteFile() const;

    // "GAMES1234ABCD" → "GAMES - 1234ABCD", as the removal dialog shows a line.
    static std::string displayForm(const std::string& line);

private:
    void write(const std::vector<std::string>& lines) const;
    std::string path_;
};

}  // namespace mv32::scan
