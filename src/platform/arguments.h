// The program's command-line arguments as UTF-8, whatever the system's own encoding.
#pragma once

#include <string>
#include <vector>

namespace orv::os {

// The arguments after the program name. On Windows they are taken from the wide command
// line, so that names outside the ANSI code page survive.
std::vector<std::string> ProgramArgumentsUtf8(int argc, char** argv);

}  // namespace orv::os
