// COrvSystem: static helpers about the running system.
#pragma once

#include "services/string.h"

namespace orv {

class COrvSystem {
 public:
  // Nonzero in the Windows preinstallation environment.
  static BOOL RunUnderWinPE();
  // Enables (1) or disables (0) a privilege such as "SeBackupPrivilege".
  static BOOL SetPrivilege(const Char* name, BOOL enable);
  // Runs the command line, waits for its end and returns its exit code; a program that
  // cannot be started gives the Windows error code instead.
  static DWORD Execute(const COrvString& commandLine, int unused, int hideWindow);
  // Nonzero when that partition holds the running Windows.
  static BOOL IsSystemVolume(DWORD disk, DWORD partition);
  static DWORD GetPartitionNumber(Char driveLetter);
  // The part of the string after the last separator (all of it when there is none).
  static COrvString ResultLastPartString(const COrvString& text, Char separator);
};

}  // namespace orv
