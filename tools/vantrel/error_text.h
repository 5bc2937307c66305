// The words for the codes the library leaves in its objects, so that a failure says what
// went wrong: "error 3: the path was not found".
#pragma once

#include <string>

#include "vantrel/vantrel.h"

namespace vantrel_cli {

// "error N: meaning" (with the code in hexadecimal for the library's own codes); a code
// without words gives "error N". A failure that came without a code says so instead of
// "error 0".
std::string ErrorText(DWORD code);

// Prints "vantrel: <doing>: error N: meaning: <name>" on standard error, ending a
// progress line first; `name` is the file, entry or disk involved (left out when empty).
void PrintError(const std::string& doing, DWORD code, const std::string& name = {});

// Whether a failure to write leaves no reason to try the next entry: the target is full
// or cannot be written at all.
bool EndsTheWork(DWORD code);

}  // namespace vantrel_cli
