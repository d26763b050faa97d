// Program descriptions found while scanning: description lists (FILES.BBS) and the member
// file_id.diz of archives, stored as the memo of the catalog record named after the described
// file (hinzu2).
//
// Every line read goes through the description filter: letters a–z and A–Z, digits, blank,
// ! " # $ % & ( ) * + , - . / : ; < = > ? \ _ and line ends stay, everything else goes (the
// apostrophe, @, brackets, ^, `, braces, |, ~, tabs, other control characters and every
// character above 127), then blanks and control characters are trimmed from both ends.
//
// Files from a medium are read only when they are regular files (never a FIFO or a device, and
// a file_id.diz out of an archive never through a link), and only up to a sane length: 64 KB
// for file_id.diz, 4 MB for a list. Names in a list are Windows text and become UTF-8.
//
// The steps run on the walk's thread; `store` decides where the description goes (the catalog,
// on the user-interface thread).
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace mv32::document {
class CatalogDocument;
class AutoSave;
}  // namespace mv32::document

namespace mv32::scan {

// A line through the description filter, trimmed.
std::string filterLine(const std::string& line);

// The records of a description list: file name as written, description as lines of one blank,
// the text and CR LF.
std::vector<std::pair<std::string, std::string>> parseFilesBbs(const std::string& text);

struct DescriptionHooks {
    std::function<void(const std::string& name, const std::string& description)> store;
    std::function<void(int64_t lines)> progressStart;  // the main window's progress bar
    std::function<void(int64_t line)> progress;
    std::function<void()> progressEnd;
    std::function<void()> processEvents;
    std::function<void(const std::string& line)> log;
};

// Reads a description list and stores its descriptions; a failure is logged as
// "<path> konnte nicht gelesen werden: Get FileBBS" and what was stored stays.
void GetFileBBS(const std::string& path, const DescriptionHooks& hooks);

// Extracts file_id.diz from the archive `directory` + `name` with its archiver into a private
// folder below `workFolder`, and stores it under the archive's name. Without the tool, without
// the member or on any failure nothing is stored and nothing is said.
void archiveDescription(const std::string& directory, const std::string& name,
                        const std::string& workFolder, const DescriptionHooks& hooks,
                        int limitMs = 2000);

// hinzu2: creates or updates the catalog record `name` with the description as its memo, inside
// the change trigger of the auto-save. User-interface thread.
void hinzu2(document::CatalogDocument& doc, document::AutoSave& autoSave, const std::string& name,
            const std::string& description);

}  // namespace mv32::scan
