// Splits a Windows command line into arguments with the rules of CommandLineToArgvW.
#pragma once

#include <vector>

#include "platform/text.h"

namespace orv::os::posix {

// The program name is taken literally up to the next blank, or between quotes when it
// starts with one. In the arguments that follow, blanks outside quotes separate;
// 2n backslashes before a quote give n backslashes and the quote opens or closes a
// quoted part; 2n+1 give n backslashes and a literal quote; backslashes elsewhere are
// literal; two quotes inside a quoted part give a literal quote and end the part.
std::vector<WString> SplitCommandLine(WStringView commandLine);

}  // namespace orv::os::posix
