#include <iostream>
#include <string>
#include <vector>

#include "tools/mv32db/TableTool.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return mv32::tools::runTableTool(args, std::cin, std::cout, std::cerr);
}
