// Starts the built `vantrel` program without waiting for it, for commands that run until
// they are stopped (`monitor`).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vantrel_cli {

// The child's process id, or -1 when it could not be started (the reason added to the
// error file). The files, named in UTF-8 in the library's path form, must be new.
pid_t StartVantrel(const std::vector<std::string>& arguments, const std::string& outputFile,
                   const std::string& errorFile);

// Waits for the child: its exit status, or -1 when a signal ended it (the signal added
// to the error file).
int WaitVantrel(pid_t child, const std::string& errorFile);

}  // namespace vantrel_cli
