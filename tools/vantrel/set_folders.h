// The differential sets USERDIFF.0, USERDIFF.1, ... of a sets folder, as the commands
// that take a run of them check it before they start.
#pragma once

#include <string>

namespace vantrel_cli {

// The first of the folders `sets`/USERDIFF.first to USERDIFF.last that is missing (or is
// no folder); empty when all are there.
std::string MissingSet(const std::string& sets, int first, int last);

}  // namespace vantrel_cli
