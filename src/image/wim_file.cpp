// A folder captured into one image file: a WIM file (CreateWIM, CreateImageFile type 4)
// or an archive (CreateImageFile types 2 and 5 and above), with percentage progress;
// and the split of a finished WIM file into parts.
#include "fsutil/delete_tree.h"
#include "image/capture_paths.h"
#include "image/current_image.h"
#include "image/image.h"
#include "image/wim_split_names.h"
#include "platform/file.h"
#include "platform/folder.h"
#include "platform/process.h"
#include "services/log.h"
#include "services/security.h"
#include "wim/engine.h"

namespace orv {

namespace {

constexpr uint64_t kMiB = 1048576;

// An archive part is this much smaller than the split size asked for.
constexpr DWORD kArchivePartMargin = 100;

// The compression asked for, where the engine knows it; LZX otherwise.
DWORD WimCompression(DWORD asked) {
  return asked == wim::kCompressNone || asked == wim::kCompressXpress ? asked : wim::kCompressLzx;
}

}  // namespace

void COrvImage::BeginFolderCapture(const WString& source, DWORD splitSizeMB,
                                   ORVDCALLBACK callback) {
  MakeCurrentImage(this);  // the WIM message handler finds the object through it
  capture_.callback = callback;
  capture_.context = 0;
  capture_.percentageStyle = true;
  capture_.splitSizeMB = splitSizeMB;
  capture_.lastError = 0;
  capture_.cancelled = false;
  // A folder capture stops through the callback alone.
  capture_.stopEvent = nullptr;
  capture_.bytesDone = 0;
  capture_.totalBytes = 0;
  capture_.current = nullptr;
  capture_.shadow = false;
  capture_.shadowPath.clear();
  capture_.volumeRoot = WithSeparator(source);
  capture_.volumeKeepsAcls = COrvSecurity(capture_.volumeRoot.c_str()).IsOnDriveWithPermanentACLs();
  capture_.savedCurrentDir.clear();
  os::GetCurrentDirectory(capture_.savedCurrentDir);
}

BOOL COrvImage::CreateWIM(LPCTSTR pstrSourceDir, LPCTSTR pstrTargetFile, DWORD dwCompType,
                          DWORD dwSplitSize, BOOL bBootImage, ORVDCALLBACK pCallBack) {
  COrvLog& log = COrvLog::GetInstance();
  log.EnterFunction(ORV_T("BOOL COrvImage::CreateWIM(LPCTSTR pstrSourceDir=%s,LPCTSTR pstrTargetFile=%s,DWORD dwCompType=%u,DWORD dwSplitSize=%d,BOOL bBootImage=%d,ORVDCALLBACK pCallBack)"),
                    pstrSourceDir, pstrTargetFile, dwCompType, dwSplitSize, bBootImage);
  if (!IsCallerPath(pstrSourceDir) || !IsCallerPath(pstrTargetFile)) {
    m_Error.SetError(IsCallerPath(pstrSourceDir) ? ORV_ERROR_ARG2 : ORV_ERROR_ARG1);
    return log.ExitFunction(FALSE);
  }
  const WString source(pstrSourceDir);
  const WString target(pstrTargetFile);
  BeginFolderCapture(source, dwSplitSize, pCallBack);
  capture_.bootImage = bBootImage != FALSE;
  Send(101, 100, 0, 0);
  // The new file replaces the target (CaptureWimFile removes what is there, links as
  // themselves), in the compression the caller chose.
  CaptureWimFile(target, source, WimCompression(dwCompType));
  m_Error.SetError(capture_.lastError);
  return log.ExitFunction(capture_.lastError == 0 ? TRUE : FALSE);
}

BOOL COrvImage::CreateImageFile(LPCTSTR pstrSourceDir, LPCTSTR pstrTargetFile, DWORD dwImageType,
                                DWORD dwCompType, DWORD dwSplitSizeMB, BOOL bBootImage,
                                ORVDCALLBACK pCallBack) {
  COrvLog& log = COrvLog::GetInstance();
  log.EnterFunction(ORV_T("BOOL COrvImage::CreateImageFile(LPCTSTR pstrSourceDir=%s,LPCTSTR pstrTargetFile=%s,DWORD dwImageType=%u,DWORD dwCompType=%u,DWORD dwSplitSizeMB=%u,BOOL bBootImage=%d,ORVDCALLBACK pCallBack)"),
                    pstrSourceDir, pstrTargetFile, dwImageType, dwCompType, dwSplitSizeMB,
                    bBootImage);
  if (!IsCallerPath(pstrSourceDir) || !IsCallerPath(pstrTargetFile)) {
    m_Error.SetError(IsCallerPath(pstrSourceDir) ? ORV_ERROR_ARG2 : ORV_ERROR_ARG1);
    return log.ExitFunction(FALSE);
  }
  if (dwImageType == 4) {
    DeleteImageFiles(pstrTargetFile);
    return log.ExitFunction(
        CreateWIM(pstrSourceDir, pstrTargetFile, dwCompType, dwSplitSizeMB, bBootImage, pCallBack));
  }
  if (dwImageType != 2 && dwImageType < 5) {
    m_Error.SetError(ORV_ERROR_NOT_SUPPORTED);
    return log.ExitFunction(FALSE);
  }
  const WString source(pstrSourceDir);
  const WString target(pstrTargetFile);
  DeleteImageFiles(target);
  BeginFolderCapture(source, dwSplitSizeMB, pCallBack);
  capture_.imageType = dwImageType;
  // A split size of 100 MiB or less leaves no room for the margin: the parts then have
  // no size limit.
  capture_.archivePartBytes =
      dwSplitSizeMB > kArchivePartMargin ? (dwSplitSizeMB - kArchivePartMargin) * kMiB : 0;
  capture_.totalBytes = CountFolderSize(source);
  Send(101, 100, 0, 0);
  capture_.lastError = 0;
  CreateMorletImage(source, target);
  if (!capture_.archive.Close() && capture_.lastError == 0)
    capture_.lastError = capture_.archive.GetLastErrorCode();
  m_Error.SetError(capture_.lastError);
  return log.ExitFunction(capture_.lastError == 0 ? TRUE : FALSE);
}

void COrvImage::DeleteImageFiles(const WString& target) {
  // The file and the numbered parts of a split archive.
  DeleteArchiveFiles(target);
  // The parts of a split WIM file, numbered from 2 without a gap, and the whole file
  // a failed split left aside.
  for (unsigned part = 2; os::DeleteEntryAt(WimPartName(target, part)) == 0; ++part) {
  }
  os::DeleteEntryAt(UnsplitWimName(target));
}

BOOL COrvImage::SplitImage(const WString& wimFile, DWORD splitSizeMB) {
  COrvLog& log = COrvLog::GetInstance();
  log.EnterFunction(ORV_T("BOOL COrvImage::SplitImage(LPCTSTR pstrFile=%s,DWORD dwSplitSize=%u)"),
                    wimFile, splitSizeMB);
  const uint64_t limit = uint64_t{splitSizeMB} * kMiB;
  os::FileInfo info;
  const uint64_t size = os::GetInfo(wimFile, info) == 0 ? info.size : 0;
  // A split size of 0 asks for no parts (parts of 0 bytes cannot be made).
  if (limit == 0 || size <= limit) return log.ExitFunction(TRUE);
  log.AddInfo(ORV_T("Split Image cause its size %I64u is > %I64u"), size, limit);
  DWORD error = 0;
  const WimSplitFailure failure = CutWim(wimFile, limit, error);
  capture_.lastError = error;
  m_Error.SetError(error);
  if (failure == WimSplitFailure::kOpen)
    log.AddError(ORV_T("WIMCreateFile(%s) failed"), UnsplitWimName(wimFile));
  if (failure == WimSplitFailure::kSplit) log.AddError(ORV_T("WIMSplitFile(%s) failed"), wimFile);
  return log.ExitFunction(failure == WimSplitFailure::kNone ? TRUE : FALSE);
}

}  // namespace orv
