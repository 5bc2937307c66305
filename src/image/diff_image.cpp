// The differential image driver: what changed on one volume since a reference image is
// found by the scan (diff_scan.cpp) and stored by the backup (diff_backup.cpp) in a
// folder of its own, with the catalogues that let a restore replay it.
#include "fsutil/delete_tree.h"
#include "image/capture_paths.h"
#include "image/change_rules.h"
#include "image/current_image.h"
#include "image/image.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/volume.h"
#include "services/format.h"
#include "services/log.h"
#include "services/win64os.h"

namespace orv {

namespace {

constexpr DWORD kNotEnoughSpace = ORV_ERROR_NO_SPACE_FOR_CHANGES;

// Archive parts of a differential image are 100 MiB smaller than the split size asked
// for; a split size of 100 MiB or less leaves them unsplit rather than wrapping around.
uint64_t DifferentialSplitBytes(DWORD splitSizeMB) {
  return splitSizeMB > 100 ? uint64_t{splitSizeMB - 100} * 1048576u : 0;
}

}  // namespace

BOOL COrvImage::CreateDifferentialImage(LPDIFFIMAGEDATA pImageData) {
  COrvLog& log = COrvLog::GetInstance();
  log.EnterFunction(ORV_T("BOOL COrvImage::CreateDifferentialImage(LPDIFFIMAGEDATA pImageData)"));
  MakeCurrentImage(this);
  capture_.savedCurrentDir.clear();
  os::GetCurrentDirectory(capture_.savedCurrentDir);
  if (pImageData == nullptr || !IsCallerPath(pImageData->pstrTargetDir) ||
      !IsCallerPath(pImageData->pstrReferenceDir)) {
    m_Error.SetError(87);
    return log.ExitFunction(FALSE);
  }
  COrvWin64OS redirection;
  const bool redirected = redirection.IsWOW64Process() && redirection.Activate64BitProcess();
  if (!SetUpDifferential(*pImageData)) {
    if (redirected) redirection.Deactivate64BitProcess();
    m_Error.SetError(capture_.lastError);
    return log.ExitFunction(FALSE);
  }

  log.AddInfo(ORV_T("Read CRC Files in %s"), diff_.referenceDir);
  ReadReferenceCatalogue(diff_.referenceDir, diff_.table, diff_.i386);
  for (auto& [name, record] : diff_.table) record.state = kNotSeen;
  // The Windows folder is always judged, even when the reference does not list it.
  os::FileInfo windows;
  if (os::GetInfo(diff_.volumeRoot + ORV_T("WINDOWS"), windows) == 0 &&
      diff_.table.find(ORV_T("WINDOWS")) == diff_.table.end()) {
    CrcRecord record;
    record.state = kNotSeen;
    record.marker = kCrcDirectoryMarker;
    record.size = windows.size;
    record.time = CrcTimeValue(windows.times.lastWrite);
    diff_.table.emplace(COrvString(ORV_T("WINDOWS")), record);
  }
  if (capture_.callback) Send(402, diff_.i386 ? 1 : 0, diff_.request, 0);

  capture_.bytesDone = 0;
  diff_.changeBytes = 0;
  os::VolumeSpace space;
  diff_.usedSpace = os::GetFreeSpace(diff_.volumeRoot, space) == 0 ? space.total - space.free : 0;
  capture_.totalBytes = diff_.usedSpace;
  if (capture_.callback)
    Send(101, static_cast<ORVVALUE>(static_cast<DWORD>(diff_.usedSpace / 1024 * 2)), 0, capture_.context);

  DiffFindAllFiles();
  log.AddInfo(ORV_T("Error: %u (%8.8X)"), capture_.lastError, capture_.lastError);
  if (capture_.lastError == 0) {
    // Without a callback nobody can be asked about the space: the backup runs.
    if (Send(401, 0, static_cast<ORVVALUE>(static_cast<DWORD>(diff_.changeBytes / 1024)), 0)) {
      BackupFiles();
    } else {
      capture_.lastError = kNotEnoughSpace;
      log.AddError(ORV_T("Not enough space: %u - %8.8X"), kNotEnoughSpace, kNotEnoughSpace);
    }
  }

  // The catalogues: written whole, or, on a failure, dropped with the folder.
  os::CalendarTime finished;
  os::FileTimeToCalendar(os::FileTimeToLocal(os::CurrentFileTime()), finished);
  if (capture_.lastError == 0) {
    diff_.descriptionFile->Write(diff_.description, finished, diff_.changeCount, diff_.changeBytes);
    DWORD error = capture_.crc.Close();
    if (error == 0) error = diff_.descriptionFile->Close();
    if (error == 0 && diff_.deletions.IsOpen()) error = diff_.deletions.Save();
    if (error == 0)
      error = FinishDifferentialBaseCatalogue(capture_.base, diff_.changeBytes, diff_.changeCount,
                                              finished, capture_.imageFiles);
    capture_.lastError = error;
  }
  if (capture_.lastError != 0) {
    // What was begun is dropped before the folder goes.
    capture_.crc.Abandon();
    diff_.descriptionFile = std::make_unique<DescriptionFile>();
    DeleteTree(capture_.targetDir);
  }
  diff_.deletions = CatalogueDocument{};
  capture_.base = CatalogueDocument{};
  if (redirected) redirection.Deactivate64BitProcess();
  m_Error.SetError(capture_.lastError);
  return log.ExitFunction(capture_.lastError == 0 ? TRUE : FALSE);
}

BOOL COrvImage::SetUpDifferential(const DIFFIMAGEDATA& record) {
  COrvLog& log = COrvLog::GetInstance();
  capture_.lastError = 0;
  capture_.cancelled = false;
  capture_.shadow = false;
  diff_ = DiffState{};
  capture_.imageType = record.m_dwINPVersion;
  log.AddInfo(ORV_T("m_dwINPVersion = %u"), capture_.imageType);
  // A sector image's disk is divided by the split size: 0 cannot be, and is refused
  // before anything is written.
  if (capture_.imageType == 3 && record.dwSplitSizeMB == 0) {
    log.AddError(ORV_T("A sector differential image needs a split size"));
    capture_.lastError = err::kInvalidParameter;
    return FALSE;
  }
  capture_.targetDir = record.pstrTargetDir;
  capture_.tempDir = IsCallerPath(record.pstrTempDir) ? record.pstrTempDir : ORV_T("");
  diff_.referenceDir = record.pstrReferenceDir;
  diff_.description = IsCallerPath(record.pstrDescription) ? record.pstrDescription : ORV_T("");
  capture_.context = record.dwContext;
  capture_.callback = record.pCallBack;
  diff_.request = record.dwRequest;
  diff_.volumeRoot = Format(ORV_T("%c:\\"), static_cast<Char>(record.wDriveLetter));
  capture_.volumeRoot = diff_.volumeRoot;
  capture_.imageFiles.clear();
  SetUpStopEvent(record.hStopEvent);
  capture_.splitSizeMB = record.dwSplitSizeMB;
  capture_.archive.SetSplitSize(DifferentialSplitBytes(record.dwSplitSizeMB));

  log.AddInfo(ORV_T("Create %s"), capture_.targetDir);
  os::RemoveDirectory(capture_.targetDir);  // only when empty
  if (const DWORD error = os::CreateDirectoryTree(capture_.targetDir)) {
    capture_.lastError = error;
    return FALSE;
  }
  const WString& folder = capture_.targetDir;
  capture_.lastError = capture_.crc.Open(folder + ORV_T("\\ALL.CRC"), true);
  if (capture_.lastError == 0) {
    diff_.deletions = OpenCatalogueDocument(folder + ORV_T("\\DEL.XML"), ORV_T("del"));
    capture_.base = OpenCatalogueDocument(folder + ORV_T("\\BASE.XML"), ORV_T("image"));
    if (!diff_.deletions.IsOpen() || !capture_.base.IsOpen()) capture_.lastError = 29;  // write fault
  }
  if (capture_.lastError == 0) capture_.lastError = diff_.descriptionFile->Open(folder + ORV_T("\\DESC.TXT"));
  if (capture_.lastError != 0) {
    capture_.crc.Abandon();
    DeleteTree(capture_.targetDir);
    return FALSE;
  }
  return TRUE;
}

}  // namespace orv
