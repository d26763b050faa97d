#include "tools/mv32db/Console.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <filesystem>

#include "engine/SystemPaths.h"
#endif

namespace mv32::tools {

#ifdef _WIN32
std::vector<std::string> commandLine(int, char**) {
    // Bytes in and out: no CR added before LF, none taken away (an import reads CR LF lines
    // as LF lines all the same).
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
    SetConsoleCP(CP_UTF8);
    std::vector<std::string> args;
    int n = 0;
    LPWSTR* w = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!w) return args;
    for (int i = 1; i < n; ++i) args.push_back(engine::paths::utf8Of(std::filesystem::path(w[i])));
    LocalFree(w);
    return args;
}
#else
std::vector<std::string> commandLine(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}
#endif

}  // namespace mv32::tools
