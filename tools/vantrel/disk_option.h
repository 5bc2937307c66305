// The --disks option of the disk and layout commands: a disk description file that the
// disk service reads instead of the system's disks.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace vantrel_cli {

void AddDisksOption(CLI::App& command, std::string& file);
// Makes the description (when one was given) the source of disks for this process and
// for the library; false, with a message, when that fails.
bool UseDiskDescription(const std::string& file);

}  // namespace vantrel_cli
