// The words for the codes the library leaves in its objects, so that a failure says what
// went wrong: "error 3: the path was not found".
#pragma once

#include <string>

#include "vantrel/vantrel.h"

namespace vantrel_cli {

// "error N: meaning" (with the code in hexadecimal for the library's own codes); a code
// without words gives "error N".
std::string ErrorText(DWORD code);

}  // namespace vantrel_cli
