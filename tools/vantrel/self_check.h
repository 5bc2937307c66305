// The self-check of `vantrel selfcheck`: finds the six factories in the library by name,
// creates one object of each family and reports what it found.
#pragma once

#include <cstdio>

namespace vantrel_cli {

// Prints the table of factories; returns 0 when every factory answered.
int RunSelfCheck(std::FILE* out);

}  // namespace vantrel_cli
