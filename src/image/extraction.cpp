// Taking things out of one archive or WIM file: all of it into a folder, one named
// entry, or the attribute record of one entry.
#include "archive/format.h"
#include "archive/morlet.h"
#include "image/capture_paths.h"
#include "image/current_image.h"
#include "image/image.h"
#include "image/image_privileges.h"
#include "image/restore_rules.h"
#include "platform/case_fold.h"
#include "platform/file.h"
#include "services/log.h"

namespace orv {

namespace {

// Finds the entry `name`: through the index, or, in versions 1 and 2, which keep none,
// by walking the entries. A name not there is error 259 either way, as the index says.
BOOL FindAnyEntry(COrvMorlet& reader, LPCTSTR name, DWORD& error) {
  if (reader.FindEntry(name)) return TRUE;
  error = reader.GetLastErrorCode();
  const DWORD type = reader.GetArchiveType();
  if (type != archive::kTypeVersion1 && type != archive::kTypeVersion2) return FALSE;
  while (reader.NextEntry(1)) {
    if (os::CompareNoCase(CurrentEntryName(reader), name) == 0) {
      error = 0;
      return TRUE;
    }
  }
  error = reader.GetLastErrorCode();
  return FALSE;
}

}  // namespace

BOOL COrvImage::Extract(LPCTSTR pstrFile, LPCTSTR pstrTargetDir, ORVDCALLBACK pCallBack) {
  MakeCurrentImage(this);
  if (!IsCallerPath(pstrFile) || !IsCallerPath(pstrTargetDir)) {
    m_Error.SetError(IsCallerPath(pstrFile) ? ORV_ERROR_ARG2 : ORV_ERROR_ARG1);
    return FALSE;
  }
  const WString file(pstrFile), target(pstrTargetDir);
  bool wim = false;
  {
    COrvMorlet probe;
    if (probe.Open(pstrFile, 1, 2)) {
      const DWORD type = probe.GetArchiveType();
      probe.Close();
      if (type == archive::kTypeWim) {
        wim = true;
      } else if (type != archive::kTypeVersion2 && type < archive::kTypeVersion5) {
        m_Error.SetError(ORV_ERROR_NOT_SUPPORTED);
        return FALSE;
      }
    } else {
      wim = os::EndsWithNoCase(file, ORV_T(".WIM"));
    }
  }
  capture_.callback = pCallBack;
  capture_.percentageStyle = true;
  Send(101, 100, 0, capture_.context);
  if (wim) {
    Send(104, 0, 0, 0);
    capture_.bytesDone = 0;
    return ExtractWIM(pstrFile, pstrTargetDir, pCallBack);
  }
  capture_.totalBytes = ComputeRestoreSize(file);
  capture_.bytesDone = 0;
  const BOOL extracted = ExtractINP(file, target);
  return Settle() && extracted;
}

BOOL COrvImage::ExtractWIM(LPCTSTR pstrFile, LPCTSTR pstrTargetDir, ORVDCALLBACK pCallBack) {
  MakeCurrentImage(this);
  if (!IsCallerPath(pstrFile) || !IsCallerPath(pstrTargetDir)) {
    m_Error.SetError(IsCallerPath(pstrFile) ? ORV_ERROR_ARG2 : ORV_ERROR_ARG1);
    return FALSE;
  }
  capture_.callback = pCallBack;
  capture_.percentageStyle = true;
  capture_.context = 0;
  capture_.lastError = 0;
  const BOOL applied = ApplyWIM(pstrFile, pstrTargetDir);
  return Settle() && applied;
}

uint64_t COrvImage::ComputeRestoreSize(const WString& archive) {
  ImagePrivileges privileges(kRestorePrivilegeCount);
  COrvMorlet reader;
  if (!reader.Open(archive.c_str(), 1, 2)) return 0;
  uint64_t total = 0;
  while (reader.NextEntry(1)) {
    const WString entry = CurrentEntryName(reader);
    if (AskRestore(entry) && !IsLeftOutOfRestore(entry)) total += reader.GetEntrySize();
  }
  reader.Close();
  return total;
}

BOOL COrvImage::ExtractSingleFile(LPCTSTR pstrEntry, LPCTSTR pstrFile, LPCTSTR pstrTargetDir) {
  COrvLog& log = COrvLog::GetInstance();
  if (!IsCallerPath(pstrEntry) || !IsCallerPath(pstrFile) || !IsCallerPath(pstrTargetDir)) {
    m_Error.SetError(!IsCallerPath(pstrEntry) ? ORV_ERROR_ARG1
                     : !IsCallerPath(pstrFile) ? ORV_ERROR_ARG2
                                               : ORV_ERROR_ARG3);
    return FALSE;
  }
  // The reader makes the folders on the way below the target itself, checking each
  // for links, so the entry name is never joined to the target here.
  COrvMorlet reader;
  if (!reader.Open(pstrFile, 1, 2)) {
    const DWORD error = reader.GetLastErrorCode();
    m_Error.SetError(error);
    log.AddInfo(ORV_T("COrvMorlet::Open failed - %u (%8.8X)"), error, error);
    return FALSE;
  }
  BOOL extracted = reader.ExtractFile(pstrEntry, pstrTargetDir);
  DWORD error = extracted ? 0 : reader.GetLastErrorCode();
  const DWORD type = reader.GetArchiveType();
  if (!extracted && error == ORV_ERROR_NOT_SUPPORTED &&
      (type == archive::kTypeVersion1 || type == archive::kTypeVersion2)) {
    // Archives without an index: the entry is found by a walk and written as a restore
    // writes it.
    extracted = FindAnyEntry(reader, pstrEntry, error);
    if (extracted && !reader.ExtractCurrent(pstrTargetDir, 0)) {
      extracted = FALSE;
      error = reader.GetLastErrorCode();
    }
  }
  if (extracted) {
    m_Error.SetError(0);
  } else {
    m_Error.SetError(error);
    log.AddInfo(ORV_T("COrvMorlet::ExtractFile failed - %u (%8.8X)"), error, error);
  }
  reader.Close();
  return extracted;
}

BOOL COrvImage::GetEntryInfo(LPCTSTR pstrEntry, LPCTSTR pstrFile, ORVFILEATTRIBUTEDATA* pData) {
  if (pData == nullptr) {
    m_Error.SetError(ORV_ERROR_ARG3);
    return FALSE;
  }
  if (!IsCallerPath(pstrEntry) || !IsCallerPath(pstrFile)) {
    m_Error.SetError(!IsCallerPath(pstrEntry) ? ORV_ERROR_ARG1 : ORV_ERROR_ARG2);
    return FALSE;
  }
  COrvMorlet reader;
  if (!reader.Open(pstrFile, 1, 2)) {
    m_Error.SetError(reader.GetLastErrorCode());
    return FALSE;
  }
  DWORD error = 0;
  const BOOL found = FindAnyEntry(reader, pstrEntry, error);
  if (found) *pData = reader.GetEntryAttributes();
  m_Error.SetError(found ? 0 : error);
  reader.Close();
  return found;
}

}  // namespace orv
