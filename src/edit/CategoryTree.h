// The category tree of the window "Treeview": the catalog's program names grouped under their
// categories, built from the catalog, saved to and loaded from .TRE files.
//
// A tree is held as its lines in tree order, each with its level (0 for a category, 1 for a
// name below it), exactly as a .TRE file writes it: the node's text after one tab per level,
// windows-1252, CR LF. A file is read with CR LF or LF; leading tabs and blanks give the level,
// a line made of the character 26 is skipped, and a line more than one level deeper than the
// one before makes the file unreadable.
//
// The build walks the catalog once in name order: every distinct category text (exactly as
// written; "spiel" and "Spiel" are two) becomes a node, sorted without regard to case, holding
// the names of the records with exactly that category in name order (German order: umlauts
// with their letters, then lower before upper case); records without a category are left out.
// The records are grouped once, so a million records take one pass and a sort. The wait window's "Abbrechen" stops it: during the pass the tree stays empty, while the
// nodes are added it keeps those added so far. User-interface thread only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "document/CatalogDocument.h"
#include "document/DataSource.h"

namespace mv32::edit {

struct TreeLine {
    int level = 0;
    std::string text;
    bool operator==(const TreeLine&) const = default;
};
using TreeLines = std::vector<TreeLine>;

inline constexpr const char* kTreeReadError = "Fehler beim Lesen der Datei!";
inline constexpr const char* kTreeWriteError = "Fehler beim Schreiben der Datei!";
// The longest text a node holds, built or loaded.
inline constexpr size_t kTreeTextLimit = 254;

// The file's bytes for a tree, and a tree from a file's bytes (throws std::runtime_error with
// kTreeReadError).
std::string treeFileText(const TreeLines& tree);
TreeLines parseTreeFile(const std::string& bytes);

// Reads a tree file in pieces of any size: each line's text is cut to kTreeTextLimit characters
// as it comes, so a line of any length (a file of 30 MB without a line end) costs no more than
// a short one. feed() and finish() throw std::runtime_error with kTreeReadError.
class TreeFileReader {
public:
    void feed(std::string_view bytes);
    TreeLines finish();

private:
    bool pending() const { return inText_ || indent_ > 0; }
    void endLine();

    TreeLines lines_;
    std::string text_;
    size_t indent_ = 0;
    bool inText_ = false;
    int before_ = -1;
};

class CategoryTree {
public:
    CategoryTree(document::CatalogDocument& doc, document::DataSource& catalog);

    const TreeLines& lines() const { return lines_; }
    // "Aktualisieren" (Generate1 and Generate2). The catalog goes back to its order by name; an
    // error reading it is shown as the program shows errors.
    void build();
    // "Speichern" and "Laden" with their dialogs and messages.
    void save();
    void load();
    // Writes and reads a tree file; throw on failure. Loading lets the user interface run
    // between pieces of the file and shows its progress; the wait window's "Abbrechen" stops
    // it, leaving the tree as it was (false).
    void saveTo(const std::string& path) const;
    bool loadFrom(const std::string& path);
    // Double click: makes the catalog record of this name current; false when there is none.
    bool selectName(const std::string& text);

private:
    document::CatalogDocument& doc_;
    document::DataSource& catalog_;
    TreeLines lines_;
};

}  // namespace mv32::edit
