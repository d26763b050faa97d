// The full search ("große Suche"): up to ten criteria turned into one statement over the open
// catalog, whose result the overview shows modally, with "Datenmenge löschen".
//
// Each filled criterion adds its fragment, in a fixed order, joined by " and ": texts match
// anywhere without regard to case (the person's "%" and "_" act as wildcards, a typed double
// quote is searched for), the medium number is compared for equality, and the two sizes, typed
// in KByte of 1024 bytes, are compared as numbers with the byte counts the catalog stores.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "document/CatalogDocument.h"
#include "edit/Overview.h"

namespace mv32::search {

struct FullSearchCriteria {
    std::string name;      // SuchenEdit
    std::string number;    // MediumNrEdit
    std::string drive;     // DriveEdit
    std::string label;     // VolLabelEdit
    std::string serial;    // VolIDEdit
    std::string total;     // groesseEdit, KByte
    std::string free;      // freespaceEdit, KByte
    std::string category;  // KategorieEdit
    std::string status;    // StatusEdit
    std::string medium;    // Datentraeger
    bool empty() const;
};

// The text inside a double-quoted literal: a double quote doubled.
std::string quoted(const std::string& text);
// The catalog's file name as the searches' statements name it: bare where the statement reads
// it as one name ("kat.db"), in double quotes where it holds a blank or other characters that
// would end the name ("\"Meine Spiele.db\"").
std::string catalogInStatement(const std::string& fileName);
// "SELECT * FROM <catalogFile> where …"; empty when no criterion is filled.
std::string fullSearchStatement(const FullSearchCriteria& c, const std::string& catalogFile);

// The category or status list of the dialog from its file, sorted: the lines, or nullopt and in
// `problem` the German sentence that says which file could not be read and why (a missing file
// too); the dialog then keeps the list it had and shows the sentence.
std::optional<std::vector<std::string>> readSearchList(const std::string& path,
                                                       std::string& problem);

// SuchenBtnClick after the dialog closed: nothing when every criterion is empty; else the
// result in the overview, modally; a refused statement gives the engine's message.
void runFullSearch(document::CatalogDocument& doc, edit::Overview& overview,
                   const FullSearchCriteria& c);

}  // namespace mv32::search
