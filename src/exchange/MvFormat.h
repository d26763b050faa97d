// The legacy catalog file format (".MV"), shared by its reader and its writer.
//
// A byte stream without alignment: a 23-byte header, then one record per program until the end
// of the file (no trailer, no separator). Numbers are single unsigned bytes; a "digit byte" holds
// 0..9 (not the character); a short string is a length byte N followed by N text bytes. Text
// bytes are windows-1252 in the file and UTF-8 inside the program.
//
// Header:
//   OFFSET SIZE DESCRIPTION
//        0    1 version of the writing program, major part (the writer writes 3)
//        1    1 version, first digit after the point (2)
//        2    1 version, second digit after the point (0)
//        3    1 day of the month of writing (1..31)
//        4    1 month of writing (1..12)
//        5    1 year of writing modulo 100
//        6    1 hour of writing (0..23)
//        7    1 minute of writing
//        8    1 second of writing
//        9    5 number of records: five digit bytes, most significant first
//       14    8 eight digit bytes identifying the writing copy; not interpreted
//       22    1 format mark: 14 = full layout, 13 = short layout; others are older versions
//
// Record of the full layout (mark 14), in this order; the writer cuts texts to the width given:
//   program name     short string          Name                 254
//   medium type      one code byte         Datentraeger         (codes below)
//   medium number    5 text bytes, right-aligned, blank-padded  DatentraegerNr   5
//   memo             short string          Memo                 254
//   medium count     short string, decimal Datentraeger_Anzahl  5
//   of (count)       short string, decimal von                  5
//   serial number    short string          Serien_Nr            8
//   volume label     short string          Label                11
//   total size       short string          Gesamte_Groesse      15
//   free space       short string          Freier_Speicher      15
//   category         short string          Kategorie            254
//   drive letter     one byte, 0 for none  Laufwerk             1
//   status           short string          Status               254
//   date and time    short string          Datum_Uhrzeit        25
//
// Record of the short layout (mark 13), only read:
//   program name     short string          Name
//   medium type      10 text bytes, taken whole     Datentraeger
//   medium number    5 text bytes, right-aligned    DatentraegerNr
//   memo             short string          Memo
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace mv32::exchange::mv {

inline constexpr size_t kHeaderSize = 23;
inline constexpr size_t kCountOffset = 9;
inline constexpr size_t kCountDigits = 5;
inline constexpr size_t kIdOffset = 14;
inline constexpr size_t kMarkOffset = 22;
inline constexpr int kFullLayout = 14;
inline constexpr int kShortLayout = 13;
inline constexpr size_t kNumberBytes = 5;
inline constexpr size_t kShortMediumBytes = 10;

// Medium codes 1..6 of the full layout; every other type is written as 1.
inline constexpr std::array<const char*, 6> kMediumTexts = {"DISKETTE", "CDROM/CD-R", "FESTPLATTE",
                                                            "STREAMER", "MO/ZIP/JAZ", "NETZWERK"};

// Widths the writer cuts the full layout's texts to, in characters.
inline constexpr size_t kNameWidth = 254;
inline constexpr size_t kMemoWidth = 254;
inline constexpr size_t kCountWidth = 5;
inline constexpr size_t kSerialWidth = 8;
inline constexpr size_t kLabelWidth = 11;
inline constexpr size_t kSizeWidth = 15;
inline constexpr size_t kCategoryWidth = 254;
inline constexpr size_t kStatusWidth = 254;
inline constexpr size_t kDateTimeWidth = 25;

// One record as read, texts already in UTF-8.
struct Record {
    std::string name;
    int mediumCode = 0;      // full layout: the code byte
    std::string mediumText;  // short layout: the ten bytes
    // The three numbers are 0 when their text is empty or no number, and empty (the field is
    // left blank) when it is a number beyond the 16-bit fields (-32768..32767).
    std::optional<int> mediumNumber = 0;
    std::string memo;
    std::optional<int> count = 0;  // Datentraeger_Anzahl
    std::optional<int> of = 0;     // von
    std::string serial;
    std::string label;
    std::string totalSize;
    std::string freeSpace;
    std::string category;
    std::string drive;  // "" for the byte 0
    std::string status;
    std::string dateTime;
};

// The medium type text of a code, or nullptr for a code outside 1..6.
inline const char* mediumText(int code) {
    return code >= 1 && code <= 6 ? kMediumTexts[static_cast<size_t>(code - 1)] : nullptr;
}

}  // namespace mv32::exchange::mv
