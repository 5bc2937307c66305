// Listing: the files of an image folder, or of a run of differential sets, reported one
// record each (411) with the progress of a restore, and nothing written.
#include "archive/morlet.h"
#include "image/capture_paths.h"
#include "image/catalogue_xml.h"
#include "image/current_image.h"
#include "image/image.h"
#include "image/image_privileges.h"
#include "image/restore_rules.h"
#include "image/restore_sets.h"
#include "platform/file.h"
#include "platform/process.h"
#include "services/format.h"
#include "services/log.h"

namespace orv {

namespace {


}  // namespace

BOOL COrvImage::ListContent(LPCTSTR pstrImageDir, ORVDCALLBACK pCallBack) {
  MakeCurrentImage(this);
  capture_.lastError = 0;
  capture_.savedCurrentDir.clear();
  os::GetCurrentDirectory(capture_.savedCurrentDir);
  if (!IsCallerPath(pstrImageDir)) {
    m_Error.SetError(ORV_ERROR_ARG1);
    return FALSE;
  }
  const WString folder(pstrImageDir);
  capture_.callback = pCallBack;
  capture_.totalBytes = CatalogueSize(folder);
  SendRestoreTotal();
  capture_.bytesDone = 0;
  const BOOL listed = ListFolder(folder, pCallBack);
  return Settle() && listed;
}

BOOL COrvImage::ListContentDifferential(LPCTSTR pstrImageDir, int nRestorePoint,
                                        ORVDCALLBACK pCallBack) {
  MakeCurrentImage(this);
  capture_.lastError = 0;
  if (!IsCallerPath(pstrImageDir)) {
    m_Error.SetError(ORV_ERROR_ARG1);
    return FALSE;
  }
  const WString sets(pstrImageDir);
  // With a restore point, listing stops at the first set that is not there; with -1,
  // before it.
  const int last = nRestorePoint >= 0 ? nRestorePoint : DifferentialSetCount(sets) - 1;
  const int counted = nRestorePoint >= 0 ? LastExistingSet(sets, nRestorePoint) : last;
  uint64_t total = 0;
  for (int i = 0; i <= counted; ++i) total += CatalogueSize(SetFolder(sets, i));
  capture_.callback = pCallBack;
  capture_.totalBytes = total;
  SendRestoreTotal();
  capture_.bytesDone = 0;
  BOOL listed = TRUE;
  for (int i = 0; listed && i <= last; ++i) listed = ListFolder(SetFolder(sets, i), pCallBack);
  return Settle() && listed;
}

bool COrvImage::DifferentialSetExists(const WString& folder, int index) {
  return !ReadArchiveList(SetFolder(folder, index)).empty();
}

int COrvImage::DifferentialSetCount(const WString& folder) {
  int count = 0;
  while (count < INT32_MAX && DifferentialSetExists(folder, count)) ++count;
  return count;
}

BOOL COrvImage::ListFolder(const WString& folder, ORVDCALLBACK callback) {
  capture_.callback = callback;
  return ForEachArchive(folder, &COrvImage::ListArchive);
}

BOOL COrvImage::ListArchive(const WString& path, bool wim) {
  return wim ? ListWIM(path) : ListContentINP(path);
}

BOOL COrvImage::ListContentINP(const WString& archive) {
  COrvLog& log = COrvLog::GetInstance();
  capture_.lastError = 0;
  log.EnterFunction(ORV_T("BOOL COrvImage::ListContentINP(LPCTSTR pstrFile=%s)"), archive);
  ImagePrivileges privileges(kRestorePrivilegeCount);
  COrvMorlet reader;
  if (!OpenForWalk(reader, archive)) return log.ExitFunction(FALSE);
  while (reader.NextEntry(1)) {
    const WString entry = CurrentEntryName(reader);
    const ORVFILEATTRIBUTEDATA attributes = reader.GetEntryAttributes();
    if (AskRestore(entry) && !IsLeftOutOfRestore(entry) &&
        !(attributes.dwFileAttributes & os::kAttrDirectory)) {
      // Every file is reported, whatever characters its archive's path holds.
      ORVLISTRECORD record{archive.c_str(), entry.c_str(), attributes};
      Send(411, 0, 0, reinterpret_cast<ORVVALUE>(&record));
      capture_.bytesDone += reader.GetEntrySize();
      log.AddInfo(ORV_T("Bytes listed: %I64u"), capture_.bytesDone);
    }
    if (capture_.callback != nullptr && !Send(404, 0, 0, 0)) {
      capture_.lastError = ORV_ERROR_CANCELLED;
      break;
    }
    // A listing reports bytes, whatever the object's progress style.
    SendBytesProgress(true);
  }
  // A walk that ends on a damaged entry rather than at the end fails with its cause.
  if (capture_.lastError == 0) capture_.lastError = WalkError(reader);
  reader.Close();
  privileges.Release();
  log.AddInfo(ORV_T("Amount of Bytes listed: %I64u"), capture_.bytesDone);
  return log.ExitFunction(Settle());
}

BOOL COrvImage::EnumerateContent(LPCTSTR pstrFile, ORVDCALLBACK pCallBack) {
  COrvLog& log = COrvLog::GetInstance();
  MakeCurrentImage(this);
  capture_.lastError = 0;
  log.EnterFunction(ORV_T("BOOL COrvImage::EnumerateContent(LPCTSTR pstrFile=%s,ORVDCALLBACK pCallBack)"),
                    pstrFile ? pstrFile : ORV_T(""));
  if (!IsCallerPath(pstrFile)) {
    m_Error.SetError(ORV_ERROR_ARG1);
    return log.ExitFunction(FALSE);
  }
  capture_.callback = pCallBack;
  if (pCallBack != nullptr) Send(110, 0, 0, 0);
  ImagePrivileges privileges(kRestorePrivilegeCount);
  COrvMorlet reader;
  if (!OpenForWalk(reader, pstrFile)) return log.ExitFunction(FALSE);
  while (reader.NextEntry(1) && pCallBack != nullptr) {
    const WString name = CurrentEntryName(reader);
    // The caller's copy lives for the call only; the library keeps ownership.
    ORVFILEATTRIBUTEDATA attributes = reader.GetEntryAttributes();
    if (!Send(410, reinterpret_cast<ORVVALUE>(name.c_str()), reinterpret_cast<ORVVALUE>(&attributes), 0)) {
      capture_.lastError = ORV_ERROR_CANCELLED;
      log.AddInfo(ORV_T("Canceled by user"));
      break;
    }
  }
  // A walk that ends on a damaged entry rather than at the end fails with its cause.
  if (capture_.lastError == 0) capture_.lastError = WalkError(reader);
  reader.Close();
  privileges.Release();
  log.AddInfo(ORV_T("Amount of Bytes written: %I64u"), capture_.bytesDone);
  return log.ExitFunction(Settle());
}

}  // namespace orv
