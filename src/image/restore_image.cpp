// Whole restores: an image folder, or a base image with its differential sets, written
// onto a target folder archive by archive, each folder followed by its deletions.
#include <algorithm>

#include "fsutil/delete_tree.h"
#include "image/capture_paths.h"
#include "image/catalogue_xml.h"
#include "image/current_image.h"
#include "image/restore_sets.h"
#include "image/image.h"
#include "platform/process.h"
#include "services/log.h"
#include "platform/case_fold.h"
#include "platform/errors.h"

namespace orv {

namespace {

}  // namespace

BOOL COrvImage::RestoreImage(LPCTSTR pstrSourceDir, LPCTSTR pstrTargetDir,
                             ORVDCALLBACK pCallBack) {
  COrvLog& log = COrvLog::GetInstance();
  log.EnterFunction(
      ORV_T("COrvImage::RestoreImage(LPCTSTR pstrSourceDir=%s,LPCTSTR pstrTargetDir=%s,ORVDCALLBACK pCallBack)"),
      pstrSourceDir ? pstrSourceDir : ORV_T(""), pstrTargetDir ? pstrTargetDir : ORV_T(""));
  MakeCurrentImage(this);
  capture_.savedCurrentDir.clear();
  os::GetCurrentDirectory(capture_.savedCurrentDir);
  if (!IsCallerPath(pstrSourceDir) || !IsCallerPath(pstrTargetDir)) {
    m_Error.SetError(IsCallerPath(pstrSourceDir) ? ORV_ERROR_ARG2 : ORV_ERROR_ARG1);
    return log.ExitFunction(FALSE);
  }
  const WString source(pstrSourceDir), target(pstrTargetDir);
  capture_.callback = pCallBack;
  capture_.lastError = 0;
  capture_.totalBytes = CatalogueSize(source);
  SendRestoreTotal();
  capture_.bytesDone = 0;
  const BOOL restored = RestoreFolder(source, target, pCallBack);
  if (restored) capture_.lastError = 0;
  return log.ExitFunction(Settle() && restored);
}

BOOL COrvImage::RestoreDifferentialImage(LPCTSTR pstrImageDir, LPCTSTR pstrDifferentialImageDir,
                                         int nRestorePoint, LPCTSTR pstrTargetDir,
                                         ORVDCALLBACK pCallBack) {
  COrvLog& log = COrvLog::GetInstance();
  log.EnterFunction(
      ORV_T("COrvImage::RestoreDifferentialImage(LPCTSTR pstrImageDir=%s,LPCTSTR pstrDifferentialImageDir=%s,int nRestorePoint=%d,LPCTSTR pstrTargetDir=%s,ORVDCALLBACK pCallBack)"),
      pstrImageDir ? pstrImageDir : ORV_T(""),
      pstrDifferentialImageDir ? pstrDifferentialImageDir : ORV_T(""), nRestorePoint,
      pstrTargetDir ? pstrTargetDir : ORV_T(""));
  MakeCurrentImage(this);
  // The strings are checked all the same: a null one would otherwise be read.
  if (!IsCallerPath(pstrImageDir) || !IsCallerPath(pstrTargetDir) ||
      (nRestorePoint >= 0 && !IsCallerPath(pstrDifferentialImageDir))) {
    m_Error.SetError(!IsCallerPath(pstrImageDir) ? ORV_ERROR_ARG1
                     : !IsCallerPath(pstrTargetDir) ? ORV_ERROR_ARG3
                                                    : ORV_ERROR_ARG2);
    return log.ExitFunction(FALSE);
  }
  capture_.savedCurrentDir.clear();
  os::GetCurrentDirectory(capture_.savedCurrentDir);
  const WString base(pstrImageDir), target(pstrTargetDir);
  const WString sets(nRestorePoint >= 0 ? pstrDifferentialImageDir : ORV_T(""));
  DWORD journal = 0;
  if (nRestorePoint >= 0 && os::GetAttributes(MergeJournalPath(sets), journal) == 0) {
    log.AddError(ORV_T("A merge of the sets in %s was stopped half way: it must be finished first"),
                 sets);
    capture_.lastError = err::kInvalidData;
    m_Error.SetError(err::kInvalidData);
    return log.ExitFunction(FALSE);
  }

  uint64_t total = CatalogueSize(base);
  log.AddInfo(ORV_T("Size attribute in %s - %I64u"), base + ORV_T("\\BASE.XML"), total);
  // Sets past the last one there add nothing: the restore stops at the first of them.
  const int last = nRestorePoint >= 0 ? LastExistingSet(sets, nRestorePoint) : -1;
  for (int i = 0; i <= last; ++i) {
    const WString folder = SetFolder(sets, i);
    const uint64_t size = CatalogueSize(folder);
    log.AddInfo(ORV_T("Size attribute in %s - %I64u"), folder + ORV_T("\\BASE.XML"), size);
    total += size;
  }
  capture_.callback = pCallBack;
  capture_.lastError = 0;
  capture_.totalBytes = total;
  SendRestoreTotal();
  capture_.bytesDone = 0;

  BOOL restored = RestoreFolder(base, target, pCallBack);
  for (int i = 0; restored && i <= nRestorePoint; ++i)
    restored = RestoreFolder(SetFolder(sets, i), target, pCallBack);
  if (restored) capture_.lastError = 0;
  return log.ExitFunction(Settle() && restored);
}

BOOL COrvImage::RestoreFolder(const WString& source, const WString& target,
                              ORVDCALLBACK callback) {
  capture_.callback = callback;
  restoreTarget_ = target;
  if (!ForEachArchive(source, &COrvImage::RestoreArchive)) return FALSE;
  ProcessDELFiles(source, target);
  return TRUE;
}

BOOL COrvImage::ForEachArchive(const WString& folder, ArchiveStep step) {
  const std::vector<WString> archives = ReadArchiveList(folder);
  if (!archives.empty()) {
    for (const WString& path : archives)
      if (!(this->*step)(path, os::EndsWithNoCase(path, ORV_T(".WIM")))) return FALSE;
    return TRUE;
  }
  WString first;
  if (FindFirstWIM(folder, first)) return (this->*step)(first, true);
  return (this->*step)(folder + ORV_T("\\BASE.INP"), false);
}

std::vector<WString> COrvImage::ReadArchiveList(const WString& folder) {
  COrvLog& log = COrvLog::GetInstance();
  const WString path = Format(ORV_T("%s\\%s.xml"), folder, ORV_T("Base"));
  log.AddInfo(ORV_T("Read %s"), path);
  BaseCatalogue catalogue;
  std::vector<WString> archives;
  if (ReadBaseCatalogue(path, catalogue) != 0) return archives;
  for (const WString& file : catalogue.files) {
    if (!os::ContainsNoCase(file, ORV_T(".inp")) && !os::ContainsNoCase(file, ORV_T(".wim"))) continue;
    archives.push_back(WithSeparator(folder) + file);
    log.AddInfo(ORV_T("Add %s to INP list"), archives.back());
  }
  return archives;
}

void COrvImage::ProcessDELFiles(const WString& source, const WString& target) {
  COrvLog& log = COrvLog::GetInstance();
  log.EnterFunction(
      ORV_T("void COrvImage::ProcessDELFiles(LPCTSTR pstrSourceDir=%s,LPCTSTR pstrTargetDir=%s)"),
      source, target);
  // The list keeps only names that stay inside the target; each is deleted through the
  // folders on its way, never through a link. A name refused for either reason is
  // reported (405 with 123); answered 0, the deletions stop there.
  std::vector<DeletedEntry> entries;
  std::vector<WString> refused;
  ReadDeletionList(source + ORV_T("\\DEL.XML"), entries, &refused);
  for (const WString& name : refused)
    if (!Send(405, 0, err::kInvalidName, reinterpret_cast<ORVVALUE>(name.c_str()))) return log.ExitFunction();
  WString root = target;
  if (!root.empty() && (root.back() == '\\' || root.back() == '/')) root.pop_back();
  for (const DeletedEntry& entry : entries) {
    const WString shown = root + ORV_T("\\") + entry.path;
    log.AddInfo(entry.directory ? ORV_T("Delete Directory %s") : ORV_T("Delete File %s"), shown);
    if (DeleteBelow(root, entry.path) == err::kInvalidName &&
        !Send(405, 0, err::kInvalidName, reinterpret_cast<ORVVALUE>(entry.path.c_str())))
      break;
  }
  log.ExitFunction();
}

void COrvImage::SendRestoreTotal() {
  if (capture_.callback == nullptr) return;
  Send(409, static_cast<ORVVALUE>(static_cast<DWORD>(capture_.totalBytes)),
       static_cast<ORVVALUE>(static_cast<DWORD>(capture_.totalBytes >> 32)), 0);
  Send(110, 0, 0, 0);
}

void COrvImage::SendBytesProgress(bool withKilobytes) {
  if (capture_.callback == nullptr || capture_.bytesDone >= capture_.totalBytes) return;
  Send(110, static_cast<ORVVALUE>(static_cast<DWORD>(capture_.bytesDone)),
       static_cast<ORVVALUE>(static_cast<DWORD>(capture_.bytesDone >> 32)), 0);
  if (withKilobytes)
    Send(104, 0, static_cast<ORVVALUE>(static_cast<DWORD>(capture_.bytesDone / 1024)), 0);
}

void COrvImage::SendPercentDone() {
  if (capture_.callback == nullptr) return;
  // Nothing to write counts as all of it written; the share never passes 100.
  const uint64_t total = capture_.totalBytes;
  const uint64_t done = std::min(capture_.bytesDone, total);
  Send(104, static_cast<ORVVALUE>(total == 0 ? 100 : static_cast<DWORD>(done * 100 / total)), 0, 0);
}

BOOL COrvImage::Settle() {
  m_Error.SetError(capture_.lastError);
  return capture_.lastError == 0 ? TRUE : FALSE;
}

}  // namespace orv
