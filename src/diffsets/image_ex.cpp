#include "diffsets/image_ex.h"

#include "archive/morlet.h"
#include "diffsets/merge_switch.h"
#include "fsutil/delete_tree.h"
#include "image/capture_paths.h"
#include "image/catalogue_desc.h"
#include "image/catalogue_xml.h"
#include "image/image_privileges.h"
#include "image/restore_sets.h"
#include "services/log.h"
#include "services/text_file.h"

namespace orv {

namespace {

// Copies a catalogue file of a set into the new one; a file that is not there is no
// failure (a set may lack its check list).
DWORD CopyCatalogue(const WString& from, const WString& to) {
  COrvLog::GetInstance().AddInfo(ORV_T("Copy %s to %s"), from, to);
  std::vector<uint8_t> bytes;
  const DWORD error = ReadWholeFile(from, bytes);
  if (error == err::kFileNotFound) return err::kSuccess;
  if (error != 0) return error;
  return ReplaceFileContent(to, bytes);
}

DWORD WriteDescription(const WString& path, const WString& text, const os::CalendarTime& date,
                       DWORD files, uint64_t bytes) {
  COrvLog::GetInstance().AddInfo(ORV_T("Update %s"), path);
  os::DeleteFile(path);
  DescriptionFile description;
  DWORD error = description.Open(path);
  if (error == 0) error = description.Write(text, date, files, bytes);
  const DWORD closed = description.Close();
  return error != 0 ? error : closed;
}

DWORD WriteBase(const WString& path, const os::CalendarTime& date, DWORD files, uint64_t bytes) {
  COrvLog::GetInstance().AddInfo(ORV_T("Generate %s"), path);
  os::DeleteFile(path);
  CatalogueDocument base = OpenCatalogueDocument(path, ORV_T("image"));
  if (!base.IsOpen()) return err::kNotSupported;
  return FinishDifferentialBaseCatalogue(base, bytes, files, date, {ORV_T("BASE.INP")});
}

}  // namespace

BOOL COrvImageEx::MergeDifferentialSets(LPCTSTR pstrImageDir, int nFirst, int nLast,
                                        ORVDCALLBACK pCallBack) {
  return Guarded([&]() -> BOOL {
    COrvLog& log = COrvLog::GetInstance();
    log.EnterFunction(ORV_T("BOOL COrvImageEx::MergeDifferentialSets(LPCTSTR pstrImageDir=%s, ")
                          ORV_T("int nFirst=%d, int nLast=%d, ORVDCALLBACK pCallBack)"),
                      pstrImageDir ? pstrImageDir : ORV_T("(null)"), nFirst, nLast);
    DWORD error = err::kInvalidParameter;
    if (IsCallerPath(pstrImageDir) && nFirst >= 0 && nLast > nFirst) {
      callback_ = pCallBack;
      error = Merge(WString(pstrImageDir), nFirst, nLast);
      callback_ = nullptr;
      table_ = MergeTable();
    }
    m_Error.SetError(error);
    return log.ExitFunction(error == 0 ? TRUE : FALSE);
  });
}

DWORD COrvImageEx::Merge(const WString& imageFolder, int first, int last) {
  COrvLog& log = COrvLog::GetInstance();
  ImagePrivileges privileges(kRestorePrivilegeCount);
  // A merge stopped half way is finished (or undone) before anything else.
  bool unfinished = false;
  if (const DWORD error = RecoverMerge(imageFolder, unfinished)) return error;

  table_ = MergeTable();
  processed_ = 0;
  filesCopied_ = 0;
  bytesCopied_ = 0;
  if (const DWORD error = ReadSets(imageFolder, first, last)) return error;
  SendAmount(409, table_.entries().size());

  const WString work = MergeWorkFolder(imageFolder);
  if (const DWORD error = DeleteTree(work)) return error;  // never trusted
  if (const DWORD error = os::CreateDirectory(work)) return error;
  const WString firstSet = SetFolder(imageFolder, first);
  DWORD error = CopyCatalogue(SetFolder(imageFolder, last) + ORV_T("\\ALL.CRC"),
                              work + ORV_T("\\ALL.CRC"));
  if (error == 0)
    error = CopyCatalogue(firstSet + ORV_T("\\DESC.TXT"), work + ORV_T("\\DESC.TXT"));
  const WString text = ReadDescriptionText(firstSet + ORV_T("\\DESC.TXT"));
  const os::CalendarTime date = ReadCatalogueDate(firstSet + ORV_T("\\BASE.XML"));
  SendAmount(110, 0);
  if (error == 0) error = CopyEntries(work);
  if (error == 0)
    error = WriteDescription(work + ORV_T("\\DESC.TXT"), text, date, filesCopied_, bytesCopied_);
  if (error == 0) error = WriteBase(work + ORV_T("\\BASE.XML"), date, filesCopied_, bytesCopied_);
  if (error != 0) {
    // The sets are as they were; the half-made set goes.
    log.AddError(ORV_T("The merge failed - %u (%8.8X); the sets are unchanged"), error, error);
    DeleteTree(work);
    return error;
  }

  MergePlan plan{first, last, last};
  while (FolderExists(SetFolder(imageFolder, plan.end + 1))) ++plan.end;
  return CommitMerge(imageFolder, plan);
}

DWORD COrvImageEx::CopyEntries(const WString& work) {
  COrvLog& log = COrvLog::GetInstance();
  const WString mergedPath = work + ORV_T("\\BASE.INP");
  COrvMorlet merged;
  if (!merged.Open(mergedPath.c_str(), 0, static_cast<int>(archive::kTypeVersion5))) {
    const DWORD error = merged.GetLastErrorCode();
    log.AddError(ORV_T("COrvMorlet::Open(%s) failed - %u"), mergedPath, error);
    return error;
  }
  DWORD error = err::kSuccess;
  for (size_t index = 0; index < table_.archives().size() && error == 0; ++index)
    error = CopyFrom(merged, table_.archives()[index], index);
  if (error == 0) error = WriteDeletions(work);
  if (!merged.Close() && error == 0) error = merged.GetLastErrorCode();
  return error;
}

DWORD COrvImageEx::CopyFrom(COrvMorlet& merged, const WString& archive, size_t index) {
  COrvLog& log = COrvLog::GetInstance();
  COrvMorlet source;
  if (const DWORD error = OpenSetArchive(source, archive)) return error;
  DWORD error = err::kSuccess;
  for (const auto& [name, entry] : table_.entries()) {
    if (entry.deleted || entry.archive != index) continue;
    ULONGLONG size = 0;
    if (!merged.AddFileFromArchive(source, name, size)) {
      error = merged.GetLastErrorCode();
      log.AddError(ORV_T("COrvMorlet::AddFileFromArchive(%s,%s) failed - %u"), name.str(), archive,
                   error);
      break;
    }
    log.AddInfo(ORV_T("-> %s - Size: %I64u"), name.str(), size);
    bytesCopied_ += size;
    ++filesCopied_;
    if (!Tick()) {
      error = ORV_ERROR_CANCELLED;
      break;
    }
  }
  source.Close();
  return error;
}

DWORD COrvImageEx::WriteDeletions(const WString& work) {
  COrvLog& log = COrvLog::GetInstance();
  const WString path = work + ORV_T("\\DEL.XML");
  CatalogueDocument deletions = OpenCatalogueDocument(path, ORV_T("del"));
  if (!deletions.IsOpen()) {
    log.AddError(ORV_T("IOrvXml::Create(%s) failed"), path);
    return err::kNotSupported;
  }
  for (const auto& [name, entry] : table_.entries()) {
    if (!entry.deleted) continue;
    if (!ListDeletedPath(deletions, ORV_T("\\") + name.str(), entry.directory))
      return err::kNotEnoughMemory;
    log.AddInfo(ORV_T("<- %s - Directory: %u"), name.str(), entry.directory ? 1u : 0u);
    if (!Tick()) return ORV_ERROR_CANCELLED;
  }
  return deletions.Save();
}

bool COrvImageEx::Tick() {
  ++processed_;
  SendAmount(110, processed_);
  return Send(404, 0, 0, 0) != FALSE;
}

BOOL COrvImageEx::Send(DWORD message, ORVVALUE first, ORVVALUE second, ORVVALUE fourth) {
  if (callback_ == nullptr) return TRUE;
  return callback_(message, first, second, fourth);
}

void COrvImageEx::SendAmount(DWORD message, uint64_t amount) {
  Send(message, static_cast<ORVVALUE>(amount & 0xFFFFFFFFu), static_cast<ORVVALUE>(amount >> 32), 0);
}

}  // namespace orv
