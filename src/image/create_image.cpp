// The full-image driver: checks the caller's record, counts what will be captured,
// builds the PRELOAD tree partition by partition (archive, sector or WIM path), writes
// the catalogues and the disk layout, and drives progress and cancellation.
#include <algorithm>
#include <climits>
#include <cstdlib>

#include "fsutil/delete_tree.h"
#include "image/current_image.h"
#include "image/capture_paths.h"
#include "image/image.h"
#include "image/image_privileges.h"
#include "layout/layout_file.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/system.h"
#include "services/log.h"
#include "services/security.h"
#include "services/system.h"
#include "services/win64os.h"

namespace orv {

namespace {

// The partitions a capture considers: sized, not a recovery volume or free space, not an
// extended or hidden-recovery type, and mounted.
bool IsCapturable(const COrvPartition& partition) {
  const BYTE type = partition.type;
  return partition.size != 0 && !partition.GetVolume().IsRecovery() && !partition.unallocated &&
         type != 0x05 && type != 0x0F && type != 0x71 && type != 0x72 &&
         !partition.GetVolume().GetVolumeMountPoint().empty();
}

WString PartitionFolder(const WString& target, DWORD disk, DWORD partition) {
  return Format(ORV_T("%s\\PRELOAD\\DISK%u\\PART%u"), target, disk, partition);
}

}  // namespace

BOOL COrvImage::CreateImage(LPIMAGEDATA pImageData) {
  COrvLog& log = COrvLog::GetInstance();
  log.EnterFunction(ORV_T("COrvImage::CreateImage(LPIMAGEDATA pImageData)"));
  MakeCurrentImage(this);
  const os::FileTime started = os::FileTimeToLocal(os::CurrentFileTime());
  capture_.savedCurrentDir.clear();
  os::GetCurrentDirectory(capture_.savedCurrentDir);

  if (pImageData == nullptr || !IsCallerPath(pImageData->pstrTargetDir)) {
    log.AddError(ORV_T("CreateImage failed."));
    m_Error.SetError(87);
    return log.ExitFunction(FALSE);
  }
  if (!SetUpCapture(*pImageData)) {
    log.AddError(ORV_T("CreateImage failed."));
    m_Error.SetError(capture_.lastError);
    return log.ExitFunction(FALSE);
  }
  capture_.imageFiles.clear();
  COrvWin64OS redirection;
  const bool redirected = redirection.IsWOW64Process() && redirection.Activate64BitProcess();

  // The disk is read once for the count and the capture: reading it measures the used
  // space of every volume that a folder stands in for, a walk of its whole tree.
  COrvDisk disk;
  log.AddInfo(ORV_T("Open disk %u"), capture_.diskNumber);
  const bool opened = disk.Open(capture_.diskNumber);
  if (!opened || !disk.Enumerate()) {
    log.AddError(opened ? ORV_T("COrvDisk::Enumerate() failed") : ORV_T("COrvDisk::Open() failed"));
    m_Error.SetError(disk.GetLastErrorCode() ? disk.GetLastErrorCode() : 21);
    return log.ExitFunction(FALSE);
  }
  Precount(disk);

  const WString preload = capture_.targetDir + ORV_T("\\PRELOAD");
  // What an earlier image left must go whole, or its files would mix with the new ones.
  capture_.lastError = DeleteTree(preload);
  if (capture_.lastError == 0) capture_.lastError = os::CreateDirectoryTree(preload);
  ImagePrivileges privileges(kCapturePrivilegeCount);

  for (DWORD index = 0; index < disk.GetPartitionCount() && capture_.lastError == 0; ++index) {
    const COrvPartition partition = disk.GetPartitionAt(index);
    if (!IsCapturable(partition)) continue;
    log.AddInfo(ORV_T("Disk: %d - Partition %d - Start: %I64d - Size: %I64u - Type: %2.2X"),
                capture_.diskNumber, partition.number, partition.startingOffset, partition.size,
                partition.type);
    log.AddInfo(ORV_T("Volume Mount Point: %s"), partition.GetVolume().GetVolumeMountPoint());
    const auto entry = capture_.selection.find(partition.number);
    if (entry == capture_.selection.end() || entry->second.bytes == kExcludedPartition) continue;
    CapturePartition(partition);
  }
  if (capture_.lastError == 0 && (capture_.imageType == 2 || capture_.imageType >= 5))
    ProgressTail();

  if (redirected) redirection.Deactivate64BitProcess();
  privileges.Release();

  // Only partitions that were captured appear in the layout, with what they hold.
  UsedSpaceTable usedSpace;
  for (const auto& [number, entry] : capture_.selection)
    if (entry.bytes != kExcludedPartition) usedSpace[number] = entry.bytes;
  const DWORD layoutError = WriteLayoutFile(preload + ORV_T("\\MRL.XML"), usedSpace, disk);
  if (capture_.lastError == 0) capture_.lastError = layoutError;
  disk.Close();

  if (capture_.lastError != 0) {
    DeleteTree(preload);
  } else {
    const os::FileTime ended = os::FileTimeToLocal(os::CurrentFileTime());
    const uint64_t seconds = ended > started ? (ended - started) / 10000000u : 0;
    log.AddInfo(ORV_T("Time for Image creation: %s"),
                Format(ORV_T("%2.u:%2.u:%2.u"), DWORD(seconds / 3600), DWORD(seconds / 60 % 60),
                       DWORD(seconds % 60)));
  }
  m_Error.SetError(capture_.lastError);
  return log.ExitFunction(capture_.lastError == 0 ? TRUE : FALSE);
}

BOOL COrvImage::SetUpCapture(const IMAGEDATA& record) {
  COrvLog& log = COrvLog::GetInstance();
  capture_.lastError = 0;
  capture_.cancelled = false;
  capture_.splitSizeMB = record.dwSplitSizeMB;
  capture_.archivePartBytes = capture_.SplitBytes();
  capture_.imageType = record.dwImageType;
  capture_.diskNumber = record.dwDiskNumber;
  capture_.reserved = record.dwReserved;
  capture_.targetDir = record.pstrTargetDir;
  capture_.context = record.dwContext;
  capture_.callback = record.pCallBack;
  capture_.selection.clear();
  capture_.current = nullptr;
  log.AddInfo(ORV_T("Image target: \"%s\""), capture_.targetDir);

  capture_.password.clear();
  if (IsCallerPath(record.pstrPassword)) {
    const WString password(record.pstrPassword);
    // The password member holds 41 characters: a longer password would be cut to a
    // different one without a word, so it is refused.
    if (password.size() > kMaxPassword) {
      capture_.lastError = 87;
      return FALSE;
    }
    capture_.password = password;
    log.AddInfo(ORV_T("Password init"));
  }
  capture_.tempDir.clear();
  if (IsCallerPath(record.pstrTempDir)) {
    capture_.tempDir = record.pstrTempDir;
    log.AddInfo(ORV_T("Temporary path init: %s"), capture_.tempDir);
  }
  SetUpStopEvent(record.hStopEvent);
  return TRUE;
}

void COrvImage::SetUpStopEvent(HANDLE given) {
  if (given != nullptr) {
    capture_.stopEvent = given;
    return;
  }
  COrvLog& log = COrvLog::GetInstance();
  if (capture_.ownStopEvent.Create(ORV_T("ImageStop"), false, false) == 0) {
    log.AddInfo(ORV_T("Event Init succedded"));
    capture_.ownStopEvent.Reset();
  } else {
    log.AddError(ORV_T("Event Init failed"));
  }
  capture_.stopEvent = capture_.ownStopEvent.NativeHandle();
}

void COrvImage::Precount(const COrvDisk& disk) {
  COrvLog& log = COrvLog::GetInstance();
  uint64_t range = 0;
  capture_.totalBytes = 0;
  for (DWORD index = 0; index < disk.GetPartitionCount(); ++index) {
    const COrvPartition partition = disk.GetPartitionAt(index);
    if (!IsCapturable(partition)) continue;
    const WString& mountPoint = partition.GetVolume().GetVolumeMountPoint();
    const bool included =
        Send(407, partition.number, static_cast<ORVVALUE>(mountPoint[0]), capture_.context);
    capture_.selection[partition.number] =
        SelectionEntry{included ? 0 : kExcludedPartition, 0};
    if (!included) continue;
    const DWORD type = capture_.imageType;
    if (type == 3) {
      range += 150;
    } else if (type == 4) {
      range += 100;
    } else if (type == 2 || type >= 5) {
      log.AddInfo(ORV_T("Count Files of %s"), mountPoint);
      // What the partition holds, as the disk service found it: declared, measured on
      // its volume, or for a folder that stands in for a volume, the files below it.
      const uint64_t used = partition.usedSpace;
      log.AddInfo(ORV_T("Size of %s: %I64u"), mountPoint, used);
      range += used / 1024;
      capture_.totalBytes += used;
    }
  }
  capture_.progressRange = static_cast<int>(std::min<uint64_t>(range, INT_MAX));
  log.AddVariable(ORV_T("nCount"), static_cast<int32_t>(capture_.progressRange), 0, 0);
  Send(101, static_cast<ORVVALUE>(capture_.progressRange), 0, capture_.context);
  capture_.progressBase = 0;
  capture_.progressPosition = 0;
  capture_.bytesDone = 0;
}

void COrvImage::CapturePartition(const COrvPartition& partition) {
  COrvLog& log = COrvLog::GetInstance();
  capture_.shadow = false;
  capture_.secondPass = false;
  capture_.shadowPath.clear();
  capture_.partitionNumber = partition.number;
  capture_.volumeRoot = WithSeparator(partition.GetVolume().GetVolumeMountPoint());
  capture_.volumeKeepsAcls = COrvSecurity(capture_.volumeRoot.c_str()).IsOnDriveWithPermanentACLs();

  const WString folder = PartitionFolder(capture_.targetDir, capture_.diskNumber, partition.number);
  capture_.lastError = os::CreateDirectoryTree(folder);
  if (capture_.lastError != 0) return;
  capture_.current = &capture_.selection[partition.number];
  capture_.imageFiles.clear();
  // An image whose catalogues cannot be written cannot be restored: that fails it.
  capture_.lastError = capture_.crc.Open(folder + ORV_T("\\ALL.CRC"), false);
  if (capture_.lastError == 0) {
    capture_.base = OpenCatalogueDocument(folder + ORV_T("\\BASE.XML"), ORV_T("image"));
    if (!capture_.base.IsOpen()) capture_.lastError = 29;  // write fault
  }
  if (capture_.lastError != 0) {
    log.AddError(ORV_T("Cannot create the catalogues of %s - %u"), folder, capture_.lastError);
    capture_.crc.Abandon();
    return;
  }

  if (capture_.imageType <= 2 || capture_.imageType == 5) {
    if (capture_.imageType < 2) capture_.imageType = 2;
    capture_.sharingViolations.clear();
    const WString archivePath = folder + ORV_T("\\BASE.INP");
    capture_.imageFiles.push_back(ORV_T("BASE.INP"));
    log.AddInfo(ORV_T("First Image File: %s"), archivePath);
    CreateMorletImage(capture_.volumeRoot, archivePath);
    SecondPass(partition);
    if (!capture_.archive.Close() && capture_.lastError == 0)
      capture_.lastError = capture_.archive.GetLastErrorCode();
    log.AddInfo(ORV_T("Bytes read: %I64u"), capture_.bytesDone);
  } else if (capture_.imageType == 3) {
    CaptureSectors(partition, folder);
  } else if (capture_.imageType == 4) {
    CaptureWim(partition, folder);
  }

  // The catalogues are put in place only for a partition that was captured whole.
  if (capture_.lastError == 0) {
    capture_.lastError = capture_.crc.Close();
  } else {
    capture_.crc.Abandon();
  }
  if (capture_.lastError == 0)
    capture_.lastError = FinishBaseCatalogue(capture_.base, capture_.current->bytes, capture_.imageFiles);
  capture_.base = CatalogueDocument{};
  if (capture_.imageType == 3) capture_.progressBase += 150;
  if (capture_.imageType == 4) capture_.progressBase += 100;
}

void COrvImage::CreateMorletImage(WStringView drive, WStringView archivePath) {
  COrvLog& log = COrvLog::GetInstance();
  log.EnterFunction(ORV_T("void COrvImage::CreateMorletImage(LPCTSTR pstrDrive=%s, LPCTSTR pstrTgFile=%s)"),
                    WString(drive), WString(archivePath));
  ImagePrivileges privileges(kRestorePrivilegeCount);
  capture_.archive.SetCompression(1);
  if (capture_.imageType == 5)
    capture_.archive.SetSplitSize(capture_.archivePartBytes ? capture_.archivePartBytes : ~uint64_t{0});
  capture_.archivePath = archivePath;
  DeleteArchiveFiles(archivePath);
  capture_.archiveVersion = static_cast<int>(capture_.imageType);
  if (!capture_.archive.Open(capture_.archivePath.c_str(), 0, capture_.archiveVersion)) {
    capture_.lastError = capture_.archive.GetLastErrorCode();
    log.ExitFunction();
    return;
  }
  // The bytes done keep counting across partitions: the range the caller was given
  // covers all of them.
  capture_.partCounter = 0;
  capture_.archiveBytes = 0;
  capture_.archiveFiles = 0;
  std::srand(os::TickCount());

  if (capture_.HasPassword()) {
    WritePasswordFile(drive);
    const WString passwordFile = WithSeparator(drive) + ORV_T("QUEN.DAV");
    log.AddInfo(ORV_T("Include password in %s"), passwordFile);
    DWORD attributes = 0;
    if (os::GetAttributes(passwordFile, attributes) == 0) {
      AddEntry(passwordFile, {});
      os::DeleteFile(passwordFile);
    }
  }
  if (capture_.lastError == 0) ProcessFileAndFolders(WString(drive));
  privileges.Release();
  log.ExitFunction();
}

void COrvImage::ProgressTail() {
  std::srand(os::TickCount());
  const uint64_t step = capture_.totalBytes / 200;
  // With a total under 200 bytes there is no step to take: the tail ends at once.
  if (step == 0 && capture_.bytesDone < capture_.totalBytes) capture_.bytesDone = capture_.totalBytes;
  while (capture_.bytesDone < capture_.totalBytes) {
    if (capture_.callback) {
      if (!Send(104, static_cast<ORVVALUE>(capture_.bytesDone / 1024), 0, capture_.context)) {
        Cancel();
        return;
      }
      if (!PollContinue()) return;
    }
    os::Sleep(static_cast<DWORD>(std::rand() % 800));
    capture_.bytesDone += step;
  }
  if (capture_.callback) Send(104, static_cast<ORVVALUE>(capture_.totalBytes / 1024), 0, capture_.context);
}

BOOL COrvImage::Send(DWORD message, ORVVALUE first, ORVVALUE second, ORVVALUE fourth) {
  if (capture_.callback == nullptr) return TRUE;
  return capture_.callback(message, first, second, fourth);
}

void COrvImage::Cancel() {
  if (capture_.stopEvent) os::SetEventHandle(capture_.stopEvent);
  capture_.lastError = ORV_ERROR_CANCELLED;
  capture_.cancelled = true;
}

bool COrvImage::PollContinue() {
  if (Send(404, 0, 0, capture_.context)) return true;
  Cancel();
  return false;
}

bool COrvImage::StopRequested() {
  return capture_.stopEvent != nullptr && os::WaitEventHandle(capture_.stopEvent, 0);
}

void COrvImage::AddBytesDone(uint64_t size) {
  if (capture_.bytesDone > capture_.totalBytes)
    capture_.bytesDone = capture_.totalBytes;
  else
    capture_.bytesDone += size;
}

void COrvImage::ReportBytesDone() {
  if (capture_.callback == nullptr) return;
  ORVVALUE position;
  if (capture_.percentageStyle)
    position = capture_.totalBytes == 0
                   ? 100
                   : static_cast<ORVVALUE>(std::min<uint64_t>(capture_.bytesDone, capture_.totalBytes) *
                                           100 / capture_.totalBytes);
  else
    position = static_cast<ORVVALUE>(static_cast<DWORD>(capture_.bytesDone / 1024));
  if (!Send(104, position, 0, capture_.context)) Cancel();
}

}  // namespace orv
