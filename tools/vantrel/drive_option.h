// The --drive option of the commands that read a volume by its drive letter: a letter,
// or LETTER=FOLDER, which on Linux maps the letter to a folder for the library (through
// VANTREL_DRIVES, which the library reads when it first needs a letter).
#pragma once

#include <string>

#include "vantrel/vantrel.h"

namespace vantrel_cli {

// The letter (upper case) of `option`, after mapping it where a folder is given; 0, with
// a message naming `doing` ("image diff"), when the option is not a letter.
ORVCHAR UseDriveOption(const std::string& option, const char* doing);

}  // namespace vantrel_cli
