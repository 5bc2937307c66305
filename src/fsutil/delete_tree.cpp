#include "fsutil/delete_tree.h"

#include <vector>

#include "fsutil/release_handles.h"
#include "platform/dir_search.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/system.h"
#include "services/log.h"
#include "services/security.h"
#include "services/system.h"

namespace orv {

namespace {

constexpr DWORD kAdministratorsAccess =
    0x1F0000;  // delete, read control, write DAC and owner, synchronize

bool StillThere(const WString& path) {
  DWORD attributes = 0;
  return os::GetAttributes(path, attributes) == 0;
}

// Removes an empty folder or a folder link; a folder that stays pending because another
// process holds it has those handles released.
void RemoveFolder(const WString& path) {
  if (os::RemoveDirectory(path) == 0 && StillThere(path)) ReleaseHandlesOnPath(path);
}

// Reads the descriptor with the image privileges on, as a probe that logs what cannot
// be read.
void ProbeSecurity(const WString& path) {
  SetImagePrivileges(TRUE);
  std::vector<uint8_t> descriptor;
  const DWORD error = os::GetSecurity(
      path, os::kOwnerSecurity | os::kGroupSecurity | os::kDaclSecurity | os::kSaclSecurity,
      descriptor);
  if (error != 0)
    COrvLog::GetInstance().AddInfo(ORV_T("GetNamedSecurityInfo failed on %s: %u"), path, error);
  SetImagePrivileges(FALSE);
}

// Takes a folder the administrators cannot open over, so that its content can go.
void RecoverAccess(const WString& path, const os::FindData& entry) {
  const bool plainFolder =
      (entry.attributes & os::kAttrDirectory) && !(entry.attributes & os::kAttrReparsePoint);
  COrvSecurity keeper(path.c_str());
  if (!plainFolder || !keeper.IsOnDriveWithPermanentACLs() || keeper.CanAccess(1)) return;
  COrvLog::GetInstance().AddInfo(ORV_T("Cannot Access %s"), path);
  TakeOwnership(path.c_str());
  keeper.DACL_Administrators_AddAllowedAccess(kAdministratorsAccess, 1);
}

bool HasWildcard(WStringView path) { return path.find_first_of(ORV_T("*?")) != WStringView::npos; }

size_t LastSeparator(WStringView path) { return path.find_last_of(ORV_T("\\/")); }

}  // namespace

DWORD DeleteTree(WStringView folder) {
  if (folder.size() >= kMaxTreePath) {
    COrvLog::GetInstance().AddError(ORV_T("Path too long, not deleted: %s"), WString(folder));
    return err::kFilenameExcedRange;
  }
  const WString path(folder);
  DeleteContents(path);
  RemoveFolder(path);
  return err::kSuccess;
}

BOOL DeleteContents(WStringView folder) {
  const WString base(folder);
  // The entries are listed first, so that deleting does not disturb the search.
  std::vector<os::FindData> entries;
  {
    os::DirSearch search;
    os::FindData data;
    for (DWORD error = search.First(base + ORV_T("\\*.*"), data); error == 0;
         error = search.Next(data))
      if (data.name != ORV_T(".") && data.name != ORV_T("..")) entries.push_back(data);
  }
  COrvLog& log = COrvLog::GetInstance();
  for (const os::FindData& entry : entries) {
    const WString path = base + ORV_T("\\") + entry.name;
    ProbeSecurity(path);
    RecoverAccess(path, entry);
    if (!(entry.attributes & os::kAttrDirectory)) {
      os::SetAttributes(path, os::kAttrNormal);
      if (const DWORD error = os::DeleteFile(path))
        log.AddError(ORV_T("DeleteFile on %s failed - %u"), path, error);
    } else if (entry.attributes & os::kAttrReparsePoint) {
      RemoveFolder(path);  // the link goes, its target is not entered
    } else {
      DeleteContents(path);
      os::SetAttributes(path, os::kAttrDirectory);
      RemoveFolder(path);
    }
  }
  return TRUE;
}

DWORD DeleteArchiveFiles(WStringView archivePath) {
  if (HasWildcard(archivePath)) return err::kInvalidName;
  const size_t separator = LastSeparator(archivePath);
  const WString folder(separator == WStringView::npos ? WStringView()
                                                      : archivePath.substr(0, separator));
  const WStringView name =
      separator == WStringView::npos ? archivePath : archivePath.substr(separator + 1);
  // The extension is the part of the file name from its last dot; a dot in a folder
  // name is no extension.
  const size_t dot = name.rfind('.');
  const WString pattern = dot == WStringView::npos ? WString(name) + ORV_T("*")
                                                   : WString(name.substr(0, dot)) + ORV_T("*") +
                                                         WString(name.substr(dot));
  const WString prefix = folder.empty() ? WString() : folder + ORV_T("\\");
  std::vector<WString> matches;
  {
    os::DirSearch search;
    os::FindData data;
    for (DWORD error = search.First(prefix + pattern, data); error == 0; error = search.Next(data))
      if (!(data.attributes & os::kAttrDirectory)) matches.push_back(prefix + data.name);
  }
  DWORD first = err::kSuccess;
  for (const WString& file : matches) {
    os::SetAttributes(file, os::kAttrNormal);
    if (const DWORD error = os::DeleteFile(file)) {
      COrvLog::GetInstance().AddError(ORV_T("DeleteFile on %s failed - %u"), file, error);
      if (first == 0) first = error;
    }
  }
  return first;
}

void SetImagePrivileges(BOOL enable) {
  static constexpr struct {
    const Char* name;
    const Char* failure;
  } kPrivileges[] = {
      {ORV_T("SeSecurityPrivilege"), ORV_T("SetPrivilege(SE_SECURITY_NAME) failed - %u")},
      {ORV_T("SeTakeOwnershipPrivilege"),
       ORV_T("SetPrivilege(SE_TAKE_OWNERSHIP_NAME) failed - %u")},
      {ORV_T("SeSystemProfilePrivilege"),
       ORV_T("SetPrivilege(SE_SYSTEM_PROFILE_NAME) failed - %u")},
      {ORV_T("SeBackupPrivilege"), ORV_T("SetPrivilege(SE_BACKUP_NAME) failed - %u")},
      {ORV_T("SeRestorePrivilege"), ORV_T("SetPrivilege(SE_RESTORE_NAME) failed - %u")},
      {ORV_T("SeShutdownPrivilege"), ORV_T("SetPrivilege(SE_SHUTDOWN_NAME) failed - %u")},
      {ORV_T("SeDebugPrivilege"), ORV_T("SetPrivilege(SE_DEBUG_NAME) failed - %u")},
      {ORV_T("SeManageVolumePrivilege"), ORV_T("SetPrivilege(SE_MANAGE_VOLUME_NAME) failed - %u")},
      {ORV_T("SeImpersonatePrivilege"), ORV_T("SetPrivilege(SE_IMPERSONATE_NAME) failed - %u")},
  };
  for (const auto& privilege : kPrivileges)
    if (const DWORD error = os::SetPrivilege(privilege.name, enable != FALSE))
      COrvLog::GetInstance().AddError(privilege.failure, error);
}

void TakeOwnership(const Char* path) {
  if (!path) return;
  const WString target(path);
  if (target.empty() || target.size() >= kMaxTreePath) return;
  COrvSystem::SetPrivilege(ORV_T("SeTakeOwnershipPrivilege"), TRUE);
  os::TakeOwnership(target);
  COrvSystem::SetPrivilege(ORV_T("SeTakeOwnershipPrivilege"), FALSE);
}

BOOL TakeOwnershipAndChildren(const Char* path, COrvError& error) {
  if (!path || !*path) {
    error.SetError(ORV_ERROR_ARG1);
    return FALSE;
  }
  const WString target(path);
  COrvSystem::SetPrivilege(ORV_T("SeTakeOwnershipPrivilege"), TRUE);
  // Ownership that cannot be taken shows as the caller's next failure to open.
  os::TakeOwnership(target);
  DWORD attributes = 0;
  if (os::GetAttributes(target, attributes) == 0 && (attributes & os::kAttrDirectory) &&
      !(attributes & os::kAttrReparsePoint)) {
    os::DirSearch search;
    os::FindData data;
    for (DWORD found = search.First(target + ORV_T("\\*.*"), data); found == 0;
         found = search.Next(data))
      if (data.name != ORV_T(".") && data.name != ORV_T(".."))
        os::TakeOwnership(target + ORV_T("\\") + data.name);
  }
  COrvSystem::SetPrivilege(ORV_T("SeTakeOwnershipPrivilege"), FALSE);
  error.SetError(0);
  return TRUE;
}

}  // namespace orv
