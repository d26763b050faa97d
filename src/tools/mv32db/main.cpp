#include <iostream>
#include <string>
#include <vector>

#include "tools/mv32db/Console.h"
#include "tools/mv32db/TableTool.h"

int main(int argc, char** argv) {
    // The tool reads and writes through the streams only: unsynchronised, an import from
    // standard input reads in blocks instead of a character at a time.
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args = mv32::tools::commandLine(argc, argv);
    return mv32::tools::runTableTool(args, std::cin, std::cout, std::cerr);
}
