// Paths handed to the standard library and the C runtime. The program's paths are UTF-8 text;
// on Windows the library would read a narrow text in another code page (std::filesystem: the C
// locale's), so such a path is made through these. Kept apart from PathNames.h, whose users
// need no <filesystem>.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace mv32::engine::paths {

// The std::filesystem path of a UTF-8 path, and back.
inline std::filesystem::path fsPath(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string utf8Of(const std::filesystem::path& p) {
    const std::u8string u = p.u8string();
    return std::string(u.begin(), u.end());
}
// std::fopen of a UTF-8 path.
inline std::FILE* openFile(const std::string& utf8, const char* mode) {
#ifdef _WIN32
    const std::wstring m(mode, mode + std::char_traits<char>::length(mode));
    return ::_wfopen(fsPath(utf8).c_str(), m.c_str());
#else
    return std::fopen(utf8.c_str(), mode);
#endif
}

}  // namespace mv32::engine::paths
