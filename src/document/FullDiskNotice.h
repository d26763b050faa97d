// What opening a catalog could not store because a medium was full, told in one notice.
//
// Opening a catalog makes a few small writes of its own: the secondary indexes the index
// settings ask for, the recent-file list, FileToLoad and the emptied undo table. None of them
// is worth failing the open over when the medium has no room left; the document notes each
// one here and tells them all at the end of the open in a single sentence, together with the
// catalog's log that waits to be written into its files. Other failures are not noted: the
// document reports them as it always did. User-interface thread only.
#pragma once

#include <exception>
#include <string>
#include <vector>

namespace mv32::document {

class FullDiskNotice {
public:
    // True when `e` says that a medium is full; `what` (German, with its article: "die Liste
    // der zuletzt geöffneten Dateien") is then noted as not stored.
    bool note(const std::exception& e, const std::string& what);
    // The same for a secondary index that could not be made.
    bool noteIndex(const std::exception& e, const std::string& name);
    bool empty() const { return things_.empty() && indexes_.empty(); }

    // The one notice: what could not be stored, then `waitingLog` (the catalog's sentence
    // about its log, or empty). Empty when there is nothing to tell. Taking it starts anew.
    std::string take(const std::string& waitingLog);

private:
    static bool diskFull(const std::exception& e);
    std::vector<std::string> indexes_;
    std::vector<std::string> things_;
};

}  // namespace mv32::document
