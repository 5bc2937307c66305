// One archive written into a folder: the worker of every restore and extraction. Each
// entry is offered to the caller (406), the system's own files at the volume root are
// left out, and a failure is reported (405) for the caller to stop or go on.
#include "archive/morlet.h"
#include "fsutil/delete_tree.h"
#include "image/capture_paths.h"
#include "image/image.h"
#include "image/image_privileges.h"
#include "image/restore_rules.h"
#include "platform/file.h"
#include "services/log.h"
#include "services/security.h"

namespace orv {

namespace {

constexpr DWORD kAdministratorsAccess = 0x1F0000;

// An existing file the administrators cannot open is taken over, so that it can be
// replaced. Links and folders are left alone: a link is replaced as an entry, and a
// folder is filled, not replaced.
void RecoverAccessToExisting(const WString& path, COrvError& error) {
  os::FileInfo info;
  if (os::GetInfo(path, info) != 0) return;
  if (info.attributes & (os::kAttrDirectory | os::kAttrReparsePoint)) return;
  COrvSecurity keeper(path.c_str());
  if (!keeper.IsOnDriveWithPermanentACLs() || keeper.CanAccess(1)) return;
  COrvLog::GetInstance().AddInfo(ORV_T("Cannot access to %s"), path);
  TakeOwnershipAndChildren(path.c_str(), error);
  keeper.DACL_Administrators_AddAllowedAccess(kAdministratorsAccess, 1);
}

}  // namespace

bool COrvImage::AskRestore(const WString& entryPath) {
  if (capture_.callback == nullptr) return true;
  if (Send(406, 0, 0, reinterpret_cast<ORVVALUE>(entryPath.c_str()))) return true;
  COrvLog::GetInstance().AddInfo(ORV_T("%s is not restored."), entryPath);
  return false;
}

bool COrvImage::OpenForWalk(COrvMorlet& reader, const WString& archive) {
  COrvLog& log = COrvLog::GetInstance();
  if (!reader.Open(archive.c_str(), 1, 2)) {
    const DWORD error = reader.GetLastErrorCode();
    capture_.lastError = error;
    m_Error.SetError(error);
    log.AddError(ORV_T("COrvMorlet::Open failed on %s - %u (%8.8X)"), archive, error, error);
    return false;
  }
  log.AddInfo(ORV_T("Version: %u"), reader.GetArchiveType());
  return true;
}

BOOL COrvImage::RestoreArchive(const WString& path, bool wim) {
  return wim ? ApplyWIM(path, restoreTarget_) : ExtractINP(path, restoreTarget_);
}

BOOL COrvImage::ExtractINP(const WString& archive, const WString& target) {
  COrvLog& log = COrvLog::GetInstance();
  capture_.lastError = 0;
  log.EnterFunction(ORV_T("BOOL COrvImage::ExtractINP(LPCTSTR pstrFile=%s,LPCTSTR pstrTargetDir=%s)"),
                    archive, target);
  ImagePrivileges privileges(kRestorePrivilegeCount);
  COrvMorlet reader;
  if (!OpenForWalk(reader, archive)) return log.ExitFunction(FALSE);

  while (reader.NextEntry(1)) {
    const WString entry = CurrentEntryName(reader);
    const bool wanted = AskRestore(entry);
    if (!wanted || IsLeftOutOfRestore(entry)) {
      if (capture_.percentageStyle) SendPercentDone();
      else SendBytesProgress(true);
      continue;
    }
    const ORVFILEATTRIBUTEDATA attributes = reader.GetEntryAttributes();
    if (attributes.dwFileAttributes & os::kAttrEncrypted) {
      Char tempName[kMaxImagePath + 1] = {};
      reader.GetEntryTempName(tempName, static_cast<int>(std::size(tempName)));
      RecordEncryptedFile(entry, target, tempName);
    }
    // What is there already is replaced only once the new content is whole (the reader
    // writes beside it and moves over it); access to it is recovered first.
    RecoverAccessToExisting(WithSeparator(target) + entry, m_Error);
    if (!reader.ExtractCurrent(target.c_str(), 0)) {
      const DWORD error = reader.GetLastErrorCode();
      capture_.lastError = error;
      m_Error.SetError(error);
      log.AddError(ORV_T("Cannot Restore %s to %s"), entry, target);
      if (capture_.callback != nullptr) {
        if (!Send(405, 0, error, reinterpret_cast<ORVVALUE>(entry.c_str()))) break;
        capture_.lastError = 0;
      }
    }
    capture_.bytesDone += reader.GetEntrySize();
    if (capture_.percentageStyle) SendPercentDone();
    else SendBytesProgress(true);
  }
  // A walk that ends on a damaged entry rather than at the end fails with its cause.
  if (capture_.lastError == 0) capture_.lastError = WalkError(reader);
  reader.Close();
  privileges.Release();
  log.AddInfo(ORV_T("Amount of Bytes written: %I64u"), capture_.bytesDone);
  return log.ExitFunction(capture_.lastError == 0 ? TRUE : FALSE);
}

}  // namespace orv
