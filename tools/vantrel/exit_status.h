// The program's exit statuses, the same for every command (listed in --help and the
// README).
#pragma once

namespace vantrel_cli {

inline constexpr int kExitSuccess = 0;    // everything asked for was done
inline constexpr int kExitFailure = 1;    // the command failed; nothing useful was done
inline constexpr int kExitUsage = 2;      // bad arguments or options; nothing was done
inline constexpr int kExitPartial = 3;    // done, but some entries failed (each one named)
inline constexpr int kExitCancelled = 4;  // cancelled by the user (Ctrl-C)

// The footer of every --help.
inline constexpr const char* kExitStatusHelp =
    "Exit status: 0 success, 1 failure, 2 bad usage (nothing done), 3 partial success "
    "(some entries failed, each one named on standard error), 4 cancelled (Ctrl-C).";

// The status for what the command-line parser stopped at: --help and --version end
// with success, anything it refused is bad usage.
inline int ExitStatusForParse(int parserCode) { return parserCode == 0 ? kExitSuccess : kExitUsage; }

// What the library's final error code means for the exit status.
inline int ExitStatusFor(unsigned long error) {
  if (error == 0) return kExitSuccess;
  return error == 0x10000801ul ? kExitCancelled : kExitFailure;
}

}  // namespace vantrel_cli
