// Starts the `vantrel` program built beside the test program, as a user starts it: its
// own process, its arguments, standard output and standard error in files. One
// implementation per system (tests/posix, tests/windows).
#pragma once

#include <string>
#include <vector>

namespace vantrel_cli {

// The program's exit status, or -1 when it could not be started (the reason added to
// the error file). The files, named in UTF-8 in the library's path form, must be new.
int LaunchVantrel(const std::vector<std::string>& arguments, const std::string& outputFile,
                  const std::string& errorFile);

}  // namespace vantrel_cli
