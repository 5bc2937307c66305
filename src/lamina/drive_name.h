// The drives the virtual-disk library is given: a letter and a colon ("X:"), a trailing
// separator allowed, in the system's narrow code page.
#pragma once

#include "platform/text.h"

namespace orv::lamina {

// The letter in upper case; 0 when `drive` names no drive.
Char DriveLetterOf(const char* drive);

}  // namespace orv::lamina
