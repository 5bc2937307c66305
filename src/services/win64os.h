// COrvWin64OS: turns the system-folder redirection of a 32-bit process on 64-bit Windows
// off and on again around work that must see the native folders. Elsewhere it does
// nothing. The destructor turns redirection back on if the caller left it off.
#pragma once

#include "vantrel/types.h"

namespace orv {

class COrvWin64OS {
 public:
  COrvWin64OS() = default;
  ~COrvWin64OS();
  COrvWin64OS(const COrvWin64OS&) = delete;
  COrvWin64OS& operator=(const COrvWin64OS&) = delete;

  BOOL IsWOW64Process() const;
  BOOL Activate64BitProcess();
  BOOL Deactivate64BitProcess();

 private:
  bool active_ = false;
  void* saved_ = nullptr;
};

}  // namespace orv
