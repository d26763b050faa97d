// The free-space search and the medium-number range search: two small searches whose results
// the overview shows modeless, without "Datenmenge löschen".
//
// Free space is typed in KByte of 1024 bytes and compared as a number with the byte count the
// catalog stores; "Keine 0 Byte-Einträge anzeigen" leaves out the media stored with 0 free.
// The range takes the records whose medium number lies between both bounds, optionally only of
// a medium type (found anywhere in the type, without regard to case; a typed double quote is
// searched for).
#pragma once

#include <string>

#include "document/CatalogDocument.h"
#include "edit/Overview.h"

namespace mv32::search {

enum class FreeSpaceCompare { MoreThan, Exactly, LessThan };

inline constexpr const char* kWrongRange =
    "Falscher Wertebereich! Die Werte der rechten Eingabezeile müssen größer oder gleich denen "
    "der linken sein!";

// Empty when no size is typed.
std::string freeSpaceStatement(FreeSpaceCompare compare, const std::string& kbyte,
                               bool withoutZero, const std::string& catalogFile);
std::string rangeStatement(const std::string& from, const std::string& to,
                           const std::string& medium, const std::string& catalogFile);

// Whether two typed bounds make a range: both there, whole numbers, the second not below the
// first; `message` gets the message for the last two cases.
enum class RangeCheck { Ok, Empty, NotANumber, Wrong };
RangeCheck checkRange(const std::string& from, const std::string& to, std::string* message);

// What became of a search: shown, nothing to do (the dialog closes), or refused (the dialog
// stays open: no size typed, a wrong range, a statement the engine refused).
enum class SearchOutcome { Shown, Nothing, Refused };

SearchOutcome runFreeSpace(document::CatalogDocument& doc, edit::Overview& overview,
                           FreeSpaceCompare compare, const std::string& kbyte, bool withoutZero);
SearchOutcome runRange(document::CatalogDocument& doc, edit::Overview& overview,
                       const std::string& from, const std::string& to, const std::string& medium);

}  // namespace mv32::search
