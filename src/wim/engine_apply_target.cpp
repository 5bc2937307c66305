// Where an apply writes: a folder, or an NTFS volume's device or image file.
#if !defined(_WIN32)
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/ntfs_source.h"
#include "platform/volume.h"
#include "wim/engine_state.h"

namespace orv::wim::linux_engine {

DWORD ChooseApplyTarget(LPCTSTR target, std::string& native, int& extractFlags) {
  extractFlags = 0;
  DWORD attributes = 0;
  // A missing target is a folder wimlib creates.
  if (os::GetAttributes(target, attributes) != err::kSuccess ||
      (attributes & os::kAttrDirectory))
    return err::kSuccess;
  os::NtfsSource volume;
  if (DWORD error = os::FindNtfsDeviceSource(target, volume))
    return error == err::kInvalidData ? err::kDirectory : error;
  if (volume.mounted) return err::kSharingViolation;
  native = volume.device;
  extractFlags = lib::kExtractNtfs;
  return err::kSuccess;
}

bool HoldsWindowsMetadata(LPCTSTR folder) {
  os::VolumeInfo info;
  return os::GetVolumeInfo(folder, info) == err::kSuccess && info.fileSystem == ORV_T("NTFS");
}

}  // namespace orv::wim::linux_engine
#endif
