#include "services/system.h"

#include "platform/process.h"
#include "platform/system.h"
#include "services/log.h"

namespace orv {

BOOL COrvSystem::RunUnderWinPE() {
  // The preinstallation environment marks itself with this key.
  return os::RegistryKeyExists(ORV_T("SYSTEM\\CurrentControlSet\\Control\\MiniNT"));
}

BOOL COrvSystem::SetPrivilege(const Char* name, BOOL enable) {
  if (!name) return FALSE;
  return os::SetPrivilege(name, enable != FALSE) == 0;
}

DWORD COrvSystem::Execute(const COrvString& commandLine, int, int hideWindow) {
  DWORD exitCode = 0;
  if (DWORD error = os::RunProgram(commandLine.str(), hideWindow != 0, exitCode)) {
    COrvLog::GetInstance().AddError(ORV_T("Cannot start [%s] - %u (%8.8X)"), commandLine.str(),
                                    error, error);
    return error;
  }
  return exitCode;
}

BOOL COrvSystem::IsSystemVolume(DWORD disk, DWORD partition) {
  DWORD systemDisk = 0, systemPartition = 0;
  if (os::SystemVolumeLocation(systemDisk, systemPartition) != 0) return FALSE;
  return systemDisk == disk && systemPartition == partition;
}

DWORD COrvSystem::GetPartitionNumber(Char driveLetter) {
  return os::PartitionNumberOfDrive(driveLetter);
}

COrvString COrvSystem::ResultLastPartString(const COrvString& text, Char separator) {
  const size_t at = text.str().rfind(separator);
  return at == WString::npos ? text : COrvString(WStringView(text.str()).substr(at + 1));
}

}  // namespace orv
