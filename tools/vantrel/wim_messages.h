// The message routine the `wim` commands register with the imaging engine: progress in
// percent feeds a progress bar, Ctrl-C answers "abort", and a file that cannot be read
// is reported and skipped.
#pragma once

#include <cstdio>

#include "progress_bar.h"

namespace vantrel_cli {

struct WimMessageTarget {
  ProgressBar* bar = nullptr;
  std::FILE* warnings = stderr;
  bool started = false;
  unsigned skipped = 0;  // entries left out after an error
};

// The routine; its user data is a WimMessageTarget.
DWORD ORV_CALLBACK WimMessageRoutine(DWORD message, ORVVALUE first, ORVVALUE second, void* target);

}  // namespace vantrel_cli
