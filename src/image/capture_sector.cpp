// Type 3: a partition captured as a copy of its used sectors by the virtual-disk
// library, then mounted read-only at a free drive letter and listed into ALL.CRC from
// its master file table. Encrypted files also go into DATA.INP from the live volume.
#include <string>

#include "image/catalogue_crc.h"
#include "image/current_image.h"
#include "image/exclusions.h"
#include "image/capture_paths.h"
#include "image/image.h"
#include "platform/case_fold.h"
#include "platform/clock.h"
#include "platform/dir_search.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/volume.h"
#include "services/log.h"
#include "services/ntfs.h"
#include "services/virtual_disk.h"

namespace orv {

namespace {

constexpr int kMountAttempts = 20;

// The sector copy's progress routine: one step per call, each offered to the caller.
int ORV_CALLBACK SectorProgress(int flag, int, DWORD* counter) {
  if (flag != 0) return 1;
  COrvImage* image = CurrentImage();
  if (image == nullptr || counter == nullptr) return 1;
  CaptureState& capture = image->Capture();
  ++*counter;
  capture.progressPosition = static_cast<int>(*counter) + capture.progressBase;
  if (capture.callback == nullptr) return 1;
  image->Send(104, static_cast<ORVVALUE>(capture.progressPosition), 0, capture.context);
  if (!image->PollContinue()) return 0;
  return 1;
}

// What a negative result of the sector copy means.
DWORD SectorCopyError(int result) {
  switch (result) {
    case -9:
      return ORV_ERROR_NO_SNAPSHOT;
    case -8:
    case -7:
      return ORV_ERROR_CANCELLED;
    case -6:
      return 19;  // write protected
    case -5:
    case -4:
      return 110;  // open failed
    case -3:
    case -2:
    case -1:
      return 8;  // not enough memory, or no library
    default:
      return 15;
  }
}

// NTFS's own files, which a listing of the volume leaves out.
bool IsNtfsMetadataName(WStringView name) {
  static const WStringView kNames[] = {
      ORV_T("$Extend\\$Reparse"), ORV_T("$Extend\\$ObjId"), ORV_T("$Extend\\$Quota"),
      ORV_T("$Extend"), ORV_T("QUEN.DAV"), ORV_T("$UpCase"), ORV_T("$Secure"), ORV_T("$BadClus"),
      ORV_T("$Boot"), ORV_T("$Bitmap"), ORV_T("$AttrDef"), ORV_T("$Volume"), ORV_T("$LogFile"),
      ORV_T("$MFTMirr"), ORV_T("$MFT")};
  if (name.size() >= 7 && os::CompareNoCase(name.substr(0, 7), ORV_T("$extend")) == 0) return true;
  for (WStringView metadata : kNames)
    if (os::CompareNoCase(name, metadata) == 0) return true;
  return false;
}

bool IsDriveRoot(WStringView root) {
  return root.size() == 3 && root[1] == ':' && (root[2] == '\\' || root[2] == '/') &&
         ((root[0] >= 'A' && root[0] <= 'Z') || (root[0] >= 'a' && root[0] <= 'z'));
}

// The drive the sector copy reads: the volume's own letter, or for a volume reached
// through a folder (a partition of a description file without a letter) a free letter
// mapped to that folder for the length of the copy. Empty when there is none.
class CopiedDrive {
 public:
  explicit CopiedDrive(const WString& root) {
    if (IsDriveRoot(root)) {
      drive_ = root.substr(0, 2);
      return;
    }
    const Char letter = FindFreeDriveLetter();
    WString folder = root;
    while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    if (letter == '.' || os::SetDriveFolder(letter, folder) != 0) return;
    mapped_ = letter;
    drive_ = WString{letter, ':'};
  }
  ~CopiedDrive() {
    if (mapped_ != 0) os::SetDriveFolder(mapped_, ORV_T(""));
  }
  CopiedDrive(const CopiedDrive&) = delete;
  CopiedDrive& operator=(const CopiedDrive&) = delete;

  const WString& Drive() const { return drive_; }

 private:
  WString drive_;
  Char mapped_ = 0;
};

// The library's copy, with the split size where it takes one; -1 without the library.
int CopySectors(const std::string& drive, const std::string& image, DWORD splitMB,
                HANDLE stopEvent) {
  COrvLog& log = COrvLog::GetInstance();
  VirtualDiskLibrary library;
  if (library.Load() != 0) return -1;
  if (library.HasCloneWithSplitSize()) {
    log.AddInfo(ORV_T("Use CloneDriveUsedSectorsSplitSize function"));
    return library.CloneDriveUsedSectorsSplitSize(drive, image, 5, SectorProgress, splitMB,
                                                  stopEvent);
  }
  log.AddInfo(ORV_T("Use CloneDriveUsedSectors function"));
  return library.CloneDriveUsedSectors(drive, image, 5, SectorProgress, stopEvent);
}

}  // namespace

void COrvImage::CaptureSectors(const COrvPartition& partition, const WString& folder) {
  COrvLog& log = COrvLog::GetInstance();
  const WString target = folder + ORV_T("\\BASE.INP");
  capture_.imageFiles.push_back(ORV_T("BASE.INP"));
  capture_.leftovers.clear();
  WString passwordFile;
  if (capture_.HasPassword()) {
    WritePasswordFile(capture_.volumeRoot);
    passwordFile = capture_.volumeRoot + ORV_T("QUEN.DAV");
    log.AddInfo(ORV_T("Include password in %s"), passwordFile);
  }

  // The library takes narrow strings; a name the code page cannot hold exactly would
  // name another file, so it is refused.
  std::string drive, image;
  int result = -1;
  DWORD error = 0;
  if (CopiedDrive copied(capture_.volumeRoot); copied.Drive().empty()) {
    log.AddError(ORV_T("No drive letter for %s"), capture_.volumeRoot);
    error = ORV_ERROR_NO_DRIVE_LETTER;
  } else if ((error = os::ToSystemCodePage(copied.Drive(), drive)) == 0 &&
             (error = os::ToSystemCodePage(target, image)) == 0) {
    result = CopySectors(drive, image, capture_.splitSizeMB, capture_.stopEvent);
  }
  if (!passwordFile.empty()) os::DeleteFile(passwordFile);
  log.AddInfo(ORV_T("return: %d"), result);
  if (error != 0) {
    capture_.lastError = error;
    return;
  }
  if (result < 0) {
    capture_.lastError = SectorCopyError(result);
    return;
  }

  const Char letter = FindFreeDriveLetter();
  if (letter == '.') {
    capture_.lastError = ORV_ERROR_NO_DRIVE_LETTER;
    return;
  }
  if (!MountSectorImage(target, WString{letter, ':'})) {
    capture_.lastError = 15;
    return;
  }

  const WString root = WString{letter, ':', '\\'};
  bool readable = false;
  for (int attempt = 0; attempt < kMountAttempts && !readable; ++attempt) {
    os::DirSearch search;
    os::FindData data;
    readable = search.First(root + ORV_T("*"), data) == 0;
    if (!readable) os::Sleep(200);
  }
  DWORD listingError = 0;
  if (readable) {
    Send(408, 0, 0, capture_.context);
    ListSectorImage(root);
    listingError = capture_.lastError;
  }
  UnmountSectorImage(letter);
  // A cancel during the listing ends the capture; otherwise what counts is whether the
  // image could be read at all.
  capture_.lastError = listingError != 0 ? listingError : (readable ? 0 : 21);
  if (capture_.lastError == 0 && !capture_.leftovers.empty()) {
    capture_.imageFiles.push_back(ORV_T("DATA.INP"));
    BuildDataArchive(folder + ORV_T("\\DATA.INP"), capture_.volumeRoot);
  }
}

void COrvImage::ListSectorImage(const WString& driveRoot) {
  capture_.leftovers.clear();
  if (capture_.current) capture_.current->bytes = 0;
  COrvNtfs ntfs;
  if (!ntfs.OpenVolume(driveRoot)) return;
  const DWORD total = ntfs.GetTotalEntries();
  NtfsEntry entry;
  DWORD index = 0;
  for (BOOL more = ntfs.FindFirstEntry(entry); more; more = ntfs.FindNextEntry(entry), ++index) {
    // 50 steps for the listing, whatever the number of entries (none: no division).
    const int step = total == 0 ? 0 : static_cast<int>(uint64_t{index} * 50 / total);
    capture_.progressPosition = step + 100 + capture_.progressBase;
    if (capture_.callback &&
        !Send(104, static_cast<ORVVALUE>(capture_.progressPosition), 0, capture_.context)) {
      Cancel();
      break;
    }
    const WString& name = entry.path;
    if (name.empty() || name == ORV_T(".") || name == ORV_T("..") || IsNtfsMetadataName(name))
      continue;
    const WString fullPath = driveRoot + name;
    if (fullPath.size() >= kMaxCapturedPath) continue;
    if (capture_.callback && !PollContinue()) break;
    os::FileInfo info;
    if (os::GetInfo(fullPath, info) != 0) continue;
    const WString display = ORV_T(":\\") + name;
    if (IsDefaultExclusion(display)) continue;
    if (!Send(400, static_cast<ORVVALUE>(static_cast<DWORD>(info.size)),
              static_cast<ORVVALUE>(static_cast<DWORD>(info.size >> 32)),
              reinterpret_cast<ORVVALUE>(fullPath.c_str())))
      continue;
    const bool directory = info.attributes & os::kAttrDirectory;
    capture_.crc.Append(name, directory ? kCrcDirectoryMarker : kCrcFileMarker,
                        directory ? 0 : info.size, CrcTimeValue(info.times.lastWrite));
    if (capture_.current) {
      capture_.current->files += 1;
      capture_.current->bytes += directory ? 0 : info.size;
    }
    if (info.attributes & os::kAttrEncrypted) capture_.leftovers.push_back(name);
  }
  ntfs.CloseVolume();
}

}  // namespace orv
