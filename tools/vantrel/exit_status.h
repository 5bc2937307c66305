// The program's exit statuses, the same for every command (listed in --help and the
// README).
#pragma once

namespace vantrel_cli {

inline constexpr int kExitSuccess = 0;    // everything asked for was done
inline constexpr int kExitFailure = 1;    // the command failed; nothing useful was done
inline constexpr int kExitUsage = 2;      // bad arguments or options; nothing was done
inline constexpr int kExitPartial = 3;    // done, but some entries failed (each one named)
inline constexpr int kExitCancelled = 4;  // cancelled by the user (Ctrl-C)

// What the library's final error code means for the exit status.
inline int ExitStatusFor(unsigned long error) {
  if (error == 0) return kExitSuccess;
  return error == 0x10000801ul ? kExitCancelled : kExitFailure;
}

}  // namespace vantrel_cli
