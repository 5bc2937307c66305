// Process rights and the system the library runs on: privileges, access repair, the
// file-system redirection of 32-bit processes on 64-bit Windows, volumes of partitions.
#pragma once

#include "platform/text.h"

namespace orv::os {

// Enables or disables a privilege of the process token ("SeBackupPrivilege", ...).
// `changed`, when given, tells whether the call changed its state (false when it was
// already as asked), so that a caller undoes only what it did itself.
// On Linux a privilege is held when the process runs as root (1300 otherwise) and is
// never switched off: `changed` is always false.
DWORD SetPrivilege(WStringView name, bool enable, bool* changed = nullptr);

// Enables a privilege for the life of the object and, at its end, disables it again only
// when this object enabled it: a privilege the caller had enabled stays enabled.
class PrivilegeHold {
 public:
  explicit PrivilegeHold(WStringView name);
  ~PrivilegeHold();
  PrivilegeHold(const PrivilegeHold&) = delete;
  PrivilegeHold& operator=(const PrivilegeHold&) = delete;

  bool Held() const { return error_ == 0; }
  DWORD Error() const { return error_; }

 private:
  WString name_;
  DWORD error_ = 0;
  bool changed_ = false;
};

// Adds an allow entry with `mask` for the Administrators group to the object's access
// list, so that the object can be opened or deleted. On Linux: gives the owner read,
// write (and for folders search) permission.
DWORD GrantAdministratorsAccess(WStringView path, DWORD mask);

// Makes the process the owner of the object (needs the take-ownership privilege).
DWORD TakeOwnership(WStringView path);

bool IsWow64Process();
// Turns the redirection of the system folders off and back on; `state` carries what
// the first call saved to the second. Without redirection both succeed and do nothing.
DWORD DisableFsRedirection(void*& state);
DWORD RevertFsRedirection(void* state);

// The partition number (1-based) of the volume behind a drive letter; 0 when unknown.
DWORD PartitionNumberOfDrive(Char letter);

// The Windows folder ("C:\Windows"); its first two characters name the system drive.
// On Linux there is no running Windows: the answer is "C:\Windows", and the C: drive is
// whatever folder the drive-letter table maps it to (platform/volume.h).
DWORD WindowsFolder(WString& folder);

// Disk and partition number of the volume that holds the running Windows. Fails with
// 50 where no Windows is running (Linux).
DWORD SystemVolumeLocation(DWORD& disk, DWORD& partition);

// Whether a system service is installed, as the service manager knows it.
enum class ServiceLookup { kInstalled, kNoServiceManager, kNotInstalled };
// On Linux there is no service manager: the one service the library asks about, the
// WIM file-system filter "WimFltr", stands for what the WIM engine mounts images
// through there, FUSE, present when /dev/fuse exists; every other name is not installed.
ServiceLookup FindSystemService(WStringView name);

// The command that formats a new virtual disk at `drive` ("X:") with NTFS: the system's
// FORMAT.COM on Windows; empty on Linux, where the virtual-disk library runs mkntfs on
// the disk as it creates it.
WString VirtualDiskFormatCommand(WStringView drive);

}  // namespace orv::os
