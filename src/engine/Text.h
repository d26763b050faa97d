// UTF-8 text helpers for field values.
//
// Text fields hold UTF-8 and their widths count characters (code points). Bytes that do not form
// valid UTF-8 (names read from a Linux file system may contain them) are kept as they are and
// count as one character each, so that a value read from disk can always be stored and found
// again. U+0000 cannot be stored: it is removed, because the key encoding uses the zero byte as
// the end of a text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mv32::engine::text {

// Length of the (possibly invalid) UTF-8 sequence starting at s[i], at least 1.
size_t sequenceLength(std::string_view s, size_t i);

// Number of characters in s.
size_t length(std::string_view s);

// s without zero bytes, cut after `width` characters.
std::string fitToWidth(std::string_view s, size_t width);

// Decodes the character at s[i]; invalid bytes decode to themselves (0x80..0xFF).
char32_t decodeAt(std::string_view s, size_t i, size_t* len);

void appendUtf8(std::string& out, char32_t cp);

// Upper and lower case of one character for the letters of Latin-1, Latin Extended-A, Greek
// and Cyrillic; other characters map to themselves. ß has no single upper-case letter and stays.
char32_t toUpper(char32_t cp);
char32_t toLower(char32_t cp);

std::string upper(std::string_view s);
std::string lower(std::string_view s);

// The form in which case-insensitive comparisons compare text: lower case.
std::string fold(std::string_view s);

// Windows text (windows-1252) at the boundary of files that other programs read. A character
// that windows-1252 cannot hold becomes `replacement`; bytes that are not valid UTF-8 stand for
// themselves when they are windows-1252 letters.
std::string toWindows1252(std::string_view utf8, char replacement = '?');
std::string fromWindows1252(std::string_view bytes);
// The windows-1252 byte of a character, or -1.
int windows1252Byte(char32_t cp);

}  // namespace mv32::engine::text
