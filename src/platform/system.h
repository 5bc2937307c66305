// Process rights and the system the library runs on: privileges, access repair, the
// file-system redirection of 32-bit processes on 64-bit Windows, volumes of partitions.
#pragma once

#include "platform/text.h"

namespace orv::os {

// Enables or disables a privilege of the process token ("SeBackupPrivilege", ...).
// On Linux a privilege is held when the process runs as root (1300 otherwise).
DWORD SetPrivilege(WStringView name, bool enable);

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

// Disk and partition number of the volume that holds the running Windows. Fails with
// 50 where no Windows is running (Linux).
DWORD SystemVolumeLocation(DWORD& disk, DWORD& partition);

}  // namespace orv::os
