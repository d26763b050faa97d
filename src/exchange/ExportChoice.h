// What the export dialogs let a person choose: the boxes of "&Exportbereiche" (the program name
// is always written) and, for HTML, the memo and whether the pages are split by initial. The
// defaults are the dialogs' own; every dialog starts from them.
//
// From the command line the ticked boxes are named: medium, number, count, info, status,
// category, date and (HTML only) memo.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mv32::exchange {

struct ExportChoice {
    bool medium = true;     // "&Datenträger"
    bool number = true;     // "Datenträger-&Nr."
    bool count = false;     // "Anzahl Datenträger"
    bool info = false;      // "Datenträger Informationen"
    bool status = false;    // "Status"
    bool category = true;   // "Kategorie"
    bool date = false;      // "Datum/Uhrzeit"
    bool memo = false;      // "Memo" (HTML)
    bool split = true;      // "Daten alphabetisch aufteilen" (HTML)
};

// The boxes named in `names`, every other one unticked (split stays as it is). False, with
// the unknown name in `bad`, when a name is none of the list (or "memo" without `html`).
bool chooseFields(const std::vector<std::string>& names, bool html, ExportChoice* choice,
                  std::string* bad);

// How far an export has come, for the progress bar: the count first, then each record done.
struct ExportProgress {
    std::function<void(int64_t total)> started;
    std::function<void(int64_t done)> advanced;
};

// A size column's text as bytes: a whole number (64-bit), 0 when it is none.
int64_t sizeValue(const std::string& text);
// The short form of a size: "1023 Byte", "10 KByte", "11 MByte" by the length of its digits.
std::string shortSize(int64_t bytes);

}  // namespace mv32::exchange
