// The command line and the standard streams of the table tool, alike on both systems: the
// arguments as UTF-8, and output written as bytes, UTF-8 text with LF line ends. On Windows the
// arguments come from the wide command line (whatever the code page) and the console is set
// to UTF-8, so that "Größe.db" is "Größe.db" there too.
#pragma once

#include <string>
#include <vector>

namespace mv32::tools {

// The arguments after the program's name.
std::vector<std::string> commandLine(int argc, char** argv);

}  // namespace mv32::tools
