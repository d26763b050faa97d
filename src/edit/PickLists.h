// The entry window's pick lists and the list files that replace two of them.
//
// The medium types are fixed. The status and category lists are built in and replaced by the
// lines of STATLIST.TXT and KATLIST.TXT in the program folder when those files can be read.
// List files are windows-1252 text with CR LF, read with CR LF or LF, and written to a
// temporary file that is renamed over the old one, so an editor's "&OK" never leaves half a list.
// Every list is shown sorted as a German reader expects: letters without regard to case,
// umlauts with their base letters and ß as ss ("Ältere Version" first, "Überaltert" after
// "Standard").
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace mv32::edit {

inline constexpr const char* kCategoryFile = "KATLIST.TXT";
inline constexpr const char* kStatusFile = "STATLIST.TXT";

const std::vector<std::string>& mediumTypes();      // 26
const std::vector<std::string>& builtInStatus();    // 13
const std::vector<std::string>& builtInCategories();  // 210

// Whether a comes before b in German dictionary order.
bool germanLess(const std::string& a, const std::string& b);
void sortGerman(std::vector<std::string>& list);

// The entries of a list file as UTF-8 (its lines, empty lines left out); nullopt when the file
// cannot be read.
std::optional<std::vector<std::string>> readListFile(const std::string& path);
// The file's text as the list editor shows it (one entry per line, LF).
std::optional<std::string> readListText(const std::string& path);
// Writes the editor's text (lines separated by LF or CR LF) as windows-1252 with CR LF,
// atomically. Throws std::runtime_error with a German message naming the file on failure.
void writeListText(const std::string& path, const std::string& text);

// A pick list for the entry window: the file's lines when it can be read, else the built-in
// list; sorted either way.
std::vector<std::string> pickList(const std::string& path, const std::vector<std::string>& builtIn);

}  // namespace mv32::edit
