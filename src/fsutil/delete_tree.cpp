#include "fsutil/delete_tree.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "archive/target_path.h"
#include "fsutil/release_handles.h"
#include "platform/case_fold.h"
#include "platform/dir_search.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/folder.h"
#include "platform/path_parts.h"
#include "platform/system.h"
#include "services/log.h"
#include "services/security.h"
#include "services/system.h"

namespace orv {

namespace {

constexpr DWORD kAdministratorsAccess =
    0x1F0000;  // delete, read control, write DAC and owner, synchronize

// Whether the entry can still be found; a folder whose deletion is pending while another
// process holds it still can.
bool StillThere(const WString& path) {
  DWORD attributes = 0;
  const DWORD error = os::GetAttributes(path, attributes);
  return error != err::kFileNotFound && error != err::kPathNotFound;
}

// Deletes the emptied folder through its handle; a folder that stays pending because
// another process holds it has those handles released.
DWORD RemoveOpenFolder(os::Folder& folder) {
  const WString path = folder.Path();
  // Taken now: once its deletion is pending, the folder can no longer be opened.
  os::FileIdentity identity;
  const bool identified = folder.Identity(identity) == err::kSuccess;
  DWORD error = folder.DeleteSelf();
  if (error == err::kSuccess && StillThere(path)) {
    ReleaseHandlesOnPath(path, identified ? &identity : nullptr);
    if (StillThere(path)) error = err::kSharingViolation;
  }
  if (error) COrvLog::GetInstance().AddError(ORV_T("Cannot remove directory %s - %u"), path, error);
  return error;
}

// Reads the descriptor with the image privileges on, as a probe that logs what cannot
// be read.
void ProbeSecurity(const WString& path) {
  SetImagePrivileges(TRUE);
  std::vector<uint8_t> descriptor;
  const DWORD error = os::GetSecurity(path, os::kAllSecurity, descriptor);
  if (error != 0)
    COrvLog::GetInstance().AddInfo(ORV_T("GetNamedSecurityInfo failed on %s: %u"), path, error);
  SetImagePrivileges(FALSE);
}

// Takes a folder the administrators cannot open over, so that its content can go.
// Returns whether anything was changed.
bool RecoverAccess(const WString& path, const os::FolderEntry& entry) {
  COrvSecurity keeper(path.c_str());
  if (!entry.folder || !keeper.IsOnDriveWithPermanentACLs() || keeper.CanAccess(1)) return false;
  COrvLog::GetInstance().AddInfo(ORV_T("Cannot Access %s"), path);
  TakeOwnership(path.c_str());
  keeper.DACL_Administrators_AddAllowedAccess(kAdministratorsAccess, 1);
  return true;
}

DWORD EmptyFolder(const os::Folder& folder);

// Deletes the file or link `name` of the folder; a link goes as itself, never its target.
DWORD DeleteEntry(const os::Folder& folder, const os::FolderEntry& entry, const WString& path) {
  const DWORD error = folder.DeleteEntry(entry.name);
  if (error) COrvLog::GetInstance().AddError(ORV_T("DeleteFile on %s failed - %u"), path, error);
  return error;
}

// Deletes the subfolder `entry` of the folder with everything below it. The subfolder is
// opened without following a link: one that has become a link since the listing is
// removed as a link.
DWORD DeleteSubfolder(const os::Folder& folder, const os::FolderEntry& entry,
                      const WString& path) {
  os::Folder child;
  DWORD error = folder.OpenChild(entry.name, child);
  if (error == err::kAccessDenied) {
    // The access repair works by path: the folder is pinned meanwhile, so that the path
    // still names it (and no link put in its place) while its owner and access change.
    os::Folder pinned;
    const DWORD pin = folder.PinChild(entry.name, pinned);
    bool repaired = false;
    if (pin == err::kSuccess)
      repaired = RecoverAccess(path, entry);
    else
      COrvLog::GetInstance().AddInfo(ORV_T("Cannot hold %s for its access repair - %u"), path, pin);
    pinned.Close();
    if (repaired) error = folder.OpenChild(entry.name, child);
    else if (pin == os::kStoppedOnLink || pin == err::kDirectory) error = pin;
  }
  if (error == os::kStoppedOnLink || error == err::kDirectory)
    return DeleteEntry(folder, entry, path);
  if (error == err::kFileNotFound || error == err::kPathNotFound) return err::kSuccess;
  if (error) {
    COrvLog::GetInstance().AddError(ORV_T("Cannot open directory %s - %u"), path, error);
    return error;
  }
  const DWORD inner = EmptyFolder(child);
  const DWORD removed = RemoveOpenFolder(child);
  return inner ? inner : removed;
}

// Deletes everything in the open folder; the first failure, 0 when all of it went.
DWORD EmptyFolder(const os::Folder& folder) {
  std::vector<os::FolderEntry> entries;
  if (const DWORD error = folder.List(entries)) {
    COrvLog::GetInstance().AddError(ORV_T("Cannot list directory %s - %u"), folder.Path(), error);
    return error;
  }
  DWORD first = err::kSuccess;
  for (const os::FolderEntry& entry : entries) {
    const WString path = folder.Path() + ORV_T("\\") + entry.name;
    ProbeSecurity(path);
    const DWORD error = entry.folder ? DeleteSubfolder(folder, entry, path)
                                     : DeleteEntry(folder, entry, path);
    if (first == err::kSuccess) first = error;
  }
  return first;
}

// Opens the folder a caller named, without following a link there.
DWORD OpenGiven(const WString& path, os::Folder& folder) {
  const DWORD error = folder.Open(path);
  if (error && error != os::kStoppedOnLink && error != err::kFileNotFound &&
      error != err::kPathNotFound)
    COrvLog::GetInstance().AddError(ORV_T("Cannot open directory %s - %u"), path, error);
  return error;
}

bool HasWildcard(WStringView path) { return path.find_first_of(ORV_T("*?")) != WStringView::npos; }

bool SameNoCase(WStringView a, WStringView b) {
  return a.size() == b.size() && os::CompareNoCase(a, b) == 0;
}

// Whether `name` (a long name) is one of the files of the archive <base><extension>: the
// main file itself, or its index or a part, <base>_<at least four digits><extension>.
bool IsArchiveFileName(WStringView name, WStringView base, WStringView extension) {
  if (name.size() < base.size() + extension.size()) return false;
  if (!SameNoCase(name.substr(0, base.size()), base) ||
      !SameNoCase(name.substr(name.size() - extension.size()), extension))
    return false;
  const WStringView middle =
      name.substr(base.size(), name.size() - base.size() - extension.size());
  if (middle.empty()) return true;
  if (middle.size() < 5 || middle[0] != '_') return false;
  for (const Char c : middle.substr(1))
    if (c < '0' || c > '9') return false;
  return true;
}

// The names of the path components of `relative`, a path that stays below a folder
// (one leading separator allowed); false for any other.
bool SplitBelow(WStringView relative, std::vector<WString>& names) {
  if (!relative.empty() && (relative.front() == '\\' || relative.front() == '/'))
    relative.remove_prefix(1);
  if (relative.empty() || !archive::IsSafeEntryName(relative)) return false;
  size_t start = 0;
  while (start <= relative.size()) {
    const size_t end = std::min(relative.find_first_of(ORV_T("\\/"), start), relative.size());
    const WStringView part = relative.substr(start, end - start);
    if (part.empty() || part == ORV_T(".")) return false;
    names.emplace_back(part);
    start = end + 1;
  }
  return true;
}

}  // namespace

DWORD DeleteTree(WStringView folder) {
  COrvLog& log = COrvLog::GetInstance();
  if (folder.size() >= kMaxTreePath) {
    log.AddError(ORV_T("Path too long, not deleted: %s"), WString(folder));
    return err::kFilenameExcedRange;
  }
  const WString path(folder);
  os::Folder root;
  switch (const DWORD error = OpenGiven(path, root)) {
    case err::kSuccess:
      break;
    case err::kFileNotFound:
    case err::kPathNotFound:
      return err::kSuccess;  // nothing there: nothing left
    case os::kStoppedOnLink: {
      // A link given as the folder goes as a link; what it points to is never entered.
      log.AddInfo(ORV_T("%s is a link: the link is removed, not its target"), path);
      const DWORD removed = os::DeleteEntryAt(path);
      if (removed) log.AddError(ORV_T("DeleteFile on %s failed - %u"), path, removed);
      return removed;
    }
    default:
      return error;
  }
  const DWORD inner = EmptyFolder(root);
  const DWORD removed = RemoveOpenFolder(root);
  return inner ? inner : removed;
}

DWORD DeleteBelow(WStringView root, WStringView relative) {
  COrvLog& log = COrvLog::GetInstance();
  std::vector<WString> names;
  if (!SplitBelow(relative, names)) {
    log.AddError(ORV_T("Not a path below %s, not deleted: %s"), WString(root), WString(relative));
    return err::kInvalidName;
  }
  os::Folder folder;
  if (const DWORD error = OpenGiven(WString(root), folder))
    return error == err::kFileNotFound || error == err::kPathNotFound ? err::kSuccess : error;
  for (size_t i = 0; i + 1 < names.size(); ++i) {
    os::Folder child;
    const DWORD error = folder.OpenChild(names[i], child);
    if (error == err::kFileNotFound || error == err::kPathNotFound) return err::kSuccess;
    if (error == os::kStoppedOnLink || error == err::kDirectory) {
      log.AddError(ORV_T("%s\\%s leads through a link or file, not deleted"), WString(root),
                   WString(relative));
      return err::kInvalidName;
    }
    if (error) return error;
    folder = std::move(child);
  }
  const os::FolderEntry last{names.back(), true, false};
  return DeleteSubfolder(folder, last, folder.Path() + ORV_T("\\") + last.name);
}

BOOL DeleteContents(WStringView folder) {
  os::Folder opened;
  if (OpenGiven(WString(folder), opened) != err::kSuccess) return FALSE;
  return EmptyFolder(opened) == err::kSuccess;
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
  const WStringView base = name.substr(0, dot);
  const WStringView extension = dot == WStringView::npos ? WStringView() : name.substr(dot);
  const WString prefix = folder.empty() ? WString() : folder + ORV_T("\\");
  // The search narrows the folder down; its matches are then judged by their long names,
  // since a search pattern also matches 8.3 names (BASEDA~1.INP for BASEDATA.INPUT).
  std::vector<WString> matches;
  {
    os::DirSearch search;
    os::FindData data;
    const WString pattern = WString(base) + ORV_T("*") + WString(extension);
    for (DWORD error = search.First(prefix + pattern, data); error == 0; error = search.Next(data))
      if (!(data.attributes & os::kAttrDirectory) && IsArchiveFileName(data.name, base, extension))
        matches.push_back(prefix + data.name);
  }
  DWORD first = err::kSuccess;
  for (const WString& file : matches) {
    // Never through a link: a link named like a part goes as itself.
    if (const DWORD error = os::DeleteEntryAt(file)) {
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
  constexpr size_t kCount = sizeof(kPrivileges) / sizeof(kPrivileges[0]);
  // Only what this code enabled is disabled again, when the outermost enabling ends: a
  // privilege the caller had enabled stays enabled, and the enabling around each probe
  // of a deletion does not end the enabling around the image operation that runs it.
  static std::mutex guard;
  static unsigned depth = 0;
  static bool enabledHere[kCount] = {};
  std::lock_guard<std::mutex> lock(guard);
  if (enable) {
    if (depth++ != 0) return;
    for (size_t i = 0; i < kCount; ++i) {
      bool changed = false;
      const DWORD error = os::SetPrivilege(kPrivileges[i].name, true, &changed);
      enabledHere[i] = error == 0 && changed;
      if (error) COrvLog::GetInstance().AddError(kPrivileges[i].failure, error);
    }
    return;
  }
  if (depth == 0 || --depth != 0) return;
  for (size_t i = 0; i < kCount; ++i) {
    if (!enabledHere[i]) continue;
    enabledHere[i] = false;
    if (const DWORD error = os::SetPrivilege(kPrivileges[i].name, false))
      COrvLog::GetInstance().AddError(kPrivileges[i].failure, error);
  }
}

void TakeOwnership(const Char* path) {
  if (!path) return;
  const WString target(path);
  if (target.empty() || target.size() >= kMaxTreePath) return;
  const os::PrivilegeHold privilege(ORV_T("SeTakeOwnershipPrivilege"));
  os::TakeOwnership(target);
}

BOOL TakeOwnershipAndChildren(const Char* path, COrvError& error) {
  if (!path || !*path) {
    error.SetError(ORV_ERROR_ARG1);
    return FALSE;
  }
  const WString target(path);
  const os::PrivilegeHold privilege(ORV_T("SeTakeOwnershipPrivilege"));
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
  error.SetError(0);
  return TRUE;
}

}  // namespace orv
