// The DLL entry point: only process attach does anything, and loading never fails.
// Declared with plain types so that the frame needs no system header.
#include "frame/attach.h"

namespace {
constexpr unsigned long kProcessAttach = 1;  // DLL_PROCESS_ATTACH
}

extern "C" int __stdcall DllMain(void*, unsigned long reason, void*) {
  if (reason == kProcessAttach) orv::OnProcessAttach();
  return 1;
}
