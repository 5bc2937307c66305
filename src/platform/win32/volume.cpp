// Volumes: space and identity of the volume that holds a path. Drive letters are the
// system's own on Windows, so the letter table has nothing to hold.
#include "platform/volume.h"

#include <vector>

#include "platform/win32/native.h"

namespace orv::os {

namespace {

// The root of the volume that holds `path` ("C:\dir\file" gives "C:\", a folder where a
// volume is mounted gives that folder), so that any path on the volume will do.
DWORD VolumeRoot(WStringView path, WString& root) {
  // The root is never longer than the longest path the system accepts.
  std::vector<Char> buffer(32768);
  if (!::GetVolumePathNameW(win32::NativePath(path).c_str(), buffer.data(),
                            static_cast<DWORD>(buffer.size())))
    return win32::LastError();
  root = buffer.data();
  return err::kSuccess;
}

}  // namespace

DWORD GetFreeSpace(WStringView path, VolumeSpace& space) {
  WString root;
  if (const DWORD error = VolumeRoot(path, root)) return error;
  ULARGE_INTEGER freeToCaller, total, free;
  if (!::GetDiskFreeSpaceExW(root.c_str(), &freeToCaller, &total, &free)) return win32::LastError();
  space.freeToCaller = freeToCaller.QuadPart;
  space.total = total.QuadPart;
  space.free = free.QuadPart;
  return err::kSuccess;
}

DWORD GetVolumeInfo(WStringView path, VolumeInfo& info) {
  WString root;
  if (const DWORD error = VolumeRoot(path, root)) return error;
  Char label[MAX_PATH + 1];
  Char fileSystem[MAX_PATH + 1];
  DWORD serial = 0;
  if (!::GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, &serial, nullptr, nullptr,
                               fileSystem, MAX_PATH + 1))
    return win32::LastError();
  info.label = label;
  info.fileSystem = fileSystem;
  info.serial = serial;
  return err::kSuccess;
}

bool DriveLetterInUse(Char letter) {
  const WString root = WString(1, letter) + ORV_T(":\\");
  return ::GetDriveTypeW(root.c_str()) != DRIVE_NO_ROOT_DIR;
}

DWORD FindImageMountVolume(WString& root) {
  for (Char letter = 'C'; letter <= 'Z'; ++letter) {
    const WString candidate = WString(1, letter) + ORV_T(":\\");
    VolumeInfo info;
    if (::GetDriveTypeW(candidate.c_str()) == DRIVE_FIXED && GetVolumeInfo(candidate, info) == 0 &&
        info.fileSystem == ORV_T("NTFS")) {
      root = candidate;
      return err::kSuccess;
    }
  }
  return err::kInvalidDrive;
}

DWORD SetDriveFolder(Char, WStringView) { return err::kNotSupported; }

DWORD SetDriveSize(Char, uint64_t) { return err::kNotSupported; }

WString GetDriveFolder(Char) { return {}; }

DWORD DrivePathOfFolder(WStringView folder, WString& drivePath) {
  drivePath.clear();
  if (folder.size() < 2 || folder[1] != ':') return err::kInvalidDrive;
  drivePath = WString(folder);
  return err::kSuccess;
}

}  // namespace orv::os
