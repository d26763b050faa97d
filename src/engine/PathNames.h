// How paths are taken apart into folder and file name, by the rules of the system the program
// runs on: "/" separates everywhere; on Windows "\" does too, and a drive ("C:") or a server's
// share ("\\server\share") begins an absolute path. Header only, so that every library may use
// it without a link to the engine.
#pragma once

#include <string>
#include <string_view>

namespace mv32::engine::paths {

#ifdef _WIN32
inline constexpr char kSeparator = '\\';
inline bool isSeparator(char c) {
    return c == '/' || c == '\\';
}
#else
inline constexpr char kSeparator = '/';
inline bool isSeparator(char c) {
    return c == '/';
}
#endif

// Where the folder part of `path` ends: just past its last separator (on Windows also past the
// ":" of "C:name"); 0 when the path is a bare name.
inline size_t folderEnd(std::string_view path) {
    for (size_t i = path.size(); i > 0; --i) {
        if (isSeparator(path[i - 1])) return i;
#ifdef _WIN32
        if (i == 2 && path[1] == ':') return 2;
#endif
    }
    return 0;
}

// The folder with its trailing separator ("" for a bare name), and the name after it.
inline std::string folderOf(std::string_view path) {
    return std::string(path.substr(0, folderEnd(path)));
}
inline std::string fileNameOf(std::string_view path) {
    return std::string(path.substr(folderEnd(path)));
}

// Whether the path names its place on its own, not relative to a current folder.
inline bool isAbsolute(std::string_view path) {
    if (!path.empty() && isSeparator(path[0])) return true;
#ifdef _WIN32
    return path.size() >= 3 && path[1] == ':' && isSeparator(path[2]);
#else
    return false;
#endif
}

// `folder` and `name` joined by one separator: the one the folder uses already, else the
// system's ("C:\x" + "w.db" is "C:\x\w.db", "/data" + "t.db" is "/data/t.db" on both).
inline std::string join(std::string_view folder, std::string_view name) {
    std::string p(folder);
    if (!p.empty() && !isSeparator(p.back())) {
        const size_t end = folderEnd(p);
        p.push_back(end > 0 && isSeparator(p[end - 1]) ? p[end - 1] : kSeparator);
    }
    p.append(name);
    return p;
}

}  // namespace mv32::engine::paths
