// Type 4: a partition captured as a WIM image through the WIM binding, from its snapshot
// where it has one, else from its mount point. The engine asks the message handler
// about every entry: the handler applies the default exclusions, asks the caller (400),
// writes the ALL.CRC lines, and sends encrypted files and reparse points to DATA.INP.
#include <algorithm>
#include <cstdint>

#include "archive/source_metadata.h"
#include "image/catalogue_crc.h"
#include "image/current_image.h"
#include "image/exclusions.h"
#include "image/capture_paths.h"
#include "image/image.h"
#include "image/new_wim.h"
#include "image/wim_split_names.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/volume.h"
#include "services/log.h"
#include "services/system.h"
#include "wim/engine.h"
#include "wim/wim.h"

namespace orv {

namespace {

DWORD ORV_CALLBACK ImageWimMessage(DWORD message, ORVVALUE first, ORVVALUE second, void*);

DWORD Process(COrvImage& image, const Char* path, BOOL* include) {
  CaptureState& capture = image.Capture();
  COrvLog& log = COrvLog::GetInstance();
  if (!image.PollContinue()) return wim::kMsgAbortImage;
  if (path == nullptr || include == nullptr) return wim::kMsgSuccess;
  const WString full(path);
  const size_t rootLength = capture.shadow ? capture.shadowPath.size() : capture.volumeRoot.size();
  if (full.size() < rootLength || full.size() - (capture.shadow ? rootLength : 0) > kMaxImagePath) {
    *include = TRUE;
    return wim::kMsgSuccess;
  }
  os::FileInfo info;
  const bool known = os::GetInfo(full, info) == 0;
  const uint64_t size = known ? info.size : 0;
  const ORVVALUE low = static_cast<ORVVALUE>(static_cast<DWORD>(size));
  const ORVVALUE high = static_cast<ORVVALUE>(static_cast<DWORD>(size >> 32));

  if (capture.percentageStyle) {
    const WString below = full.substr(capture.volumeRoot.size() - 1);
    if (IsDefaultExclusionPath(below)) {
      log.AddInfo(ORV_T("%s is excluded by default"), full);
      *include = FALSE;
    } else if (image.Send(400, low, high, reinterpret_cast<ORVVALUE>(full.c_str()))) {
      log.AddInfo(ORV_T("Add %s"), full);
      *include = TRUE;
    } else {
      log.AddInfo(ORV_T("%s is excluded"), full);
      *include = FALSE;
    }
    os::SetCurrentDirectory(capture.savedCurrentDir);
    return wim::kMsgSuccess;
  }

  const WString relative = full.substr(rootLength);
  const WString display = ORV_T(":\\") + relative;
  if (IsDefaultExclusion(display)) {
    log.AddInfo(ORV_T("%s is excluded by default"), display);
    *include = FALSE;
  } else if (!image.Send(400, low, high, reinterpret_cast<ORVVALUE>(display.c_str()))) {
    log.AddInfo(ORV_T("%s is excluded"), display);
    *include = FALSE;
  } else {
    *include = TRUE;
    if (!relative.empty() && capture.listedNames.insert(COrvString(relative)).second && known) {
      log.AddInfo(ORV_T("Add %s"), display);
      const bool directory = info.attributes & os::kAttrDirectory;
      capture.crc.Append(relative, directory ? kCrcDirectoryMarker : kCrcFileMarker,
                         directory ? 0 : size, CrcTimeValue(info.times.lastWrite));
      if (capture.current) {
        if (!directory) capture.current->bytes += size;
        capture.current->files += 1;
      }
      if (info.attributes & os::kAttrEncrypted) {
        capture.leftovers.push_back(relative);
        if (os::IsWow64Process()) {
          *include = FALSE;
          log.AddInfo(ORV_T("%s is excluded. (Encrypted Vista64)"), display);
        } else if (!directory) {
          *include = FALSE;
          log.AddInfo(ORV_T("%s is excluded."), display);
        }
      } else if ((info.attributes & os::kAttrReparsePoint) && !COrvSystem::RunUnderWinPE()) {
        capture.leftovers.push_back(relative);
      }
    }
  }
  os::SetCurrentDirectory(capture.savedCurrentDir);
  return wim::kMsgSuccess;
}

DWORD ORV_CALLBACK ImageWimMessage(DWORD message, ORVVALUE first, ORVVALUE second, void*) {
  COrvImage* image = CurrentImage();
  if (image == nullptr) return wim::kMsgSuccess;
  CaptureState& capture = image->Capture();
  switch (message) {
    case wim::kMsgProgress: {
      const int percent = static_cast<int>(first);
      capture.progressPosition = capture.percentageStyle ? percent : percent + capture.progressBase;
      if (!image->Send(104, static_cast<ORVVALUE>(capture.progressPosition), 0, capture.context)) {
        // Marked as the caller's cancel, so that the engine's failure reads as one.
        image->Cancel();
        return wim::kMsgAbortImage;
      }
      return wim::kMsgSuccess;
    }
    case wim::kMsgProcess:
      return Process(*image, reinterpret_cast<const Char*>(first), reinterpret_cast<BOOL*>(second));
    case wim::kMsgError: {
      const Char* path = reinterpret_cast<const Char*>(first);
      const DWORD code = static_cast<DWORD>(second);
      COrvLog& log = COrvLog::GetInstance();
      if (path) log.AddInfo(ORV_T("Cannot add %s - %u"), WString(path), code);
      if (code == 112) {
        os::VolumeSpace space;
        os::GetFreeSpace(capture.targetDir, space);
        log.AddInfo(ORV_T("Free space on %s: %I64u"), capture.targetDir, space.free);
      }
      return wim::kMsgSkipError;
    }
    default:
      return wim::kMsgSuccess;
  }
}

}  // namespace

void COrvImage::CaptureWim(const COrvPartition& partition, const WString& folder) {
  COrvLog& log = COrvLog::GetInstance();
  const WString target = folder + ORV_T("\\BASE.WIM");
  capture_.imageFiles.push_back(ORV_T("BASE.WIM"));
  capture_.shadow = false;
  TakeShadowCopy(partition);
  // Without a snapshot the volume is read where it is mounted.
  const WString source = capture_.shadow ? capture_.shadowPath : capture_.volumeRoot;
  capture_.leftovers.clear();
  capture_.listedNames.clear();
  log.AddInfo(ORV_T("Image File: %s"), target);
  CaptureWimFile(target, source, wim::kCompressLzx);
  if (capture_.lastError == 0 && !capture_.leftovers.empty()) {
    capture_.imageFiles.push_back(ORV_T("DATA.INP"));
    BuildDataArchive(folder + ORV_T("\\DATA.INP"), capture_.volumeRoot);
  }
  ReleaseShadowCopy();
}

void COrvImage::CaptureWimFile(const WString& target, const WString& source, DWORD compression) {
  COrvLog& log = COrvLog::GetInstance();
  COrvWim wim;
  WString passwordFile;
  if (!CreateNewWim(wim, target, compression)) {
    capture_.lastError = wim.GetLastErrorCode();
    log.AddError(ORV_T("WIMCreateFile failed"));
    return;
  }
  wim.WIMRegisterMessageCallback(nullptr, ImageWimMessage, nullptr);
  if (!capture_.percentageStyle && capture_.HasPassword()) {
    WritePasswordFile(source);
    passwordFile = WithSeparator(source) + ORV_T("QUEN.DAV");
    log.AddInfo(ORV_T("Include password in %s"), passwordFile);
  }
  if (!capture_.tempDir.empty() && !wim.WIMSetTemporaryPath(nullptr, capture_.tempDir.c_str()))
    log.AddError(ORV_T("Cannot set Temporary folder - %u"), wim.GetLastErrorCode());
  HANDLE image = wim.WIMCaptureImage(nullptr, source.c_str(), 0);
  if (image == nullptr) {
    const DWORD code = wim.GetLastErrorCode();
    capture_.lastError = capture_.cancelled ? ORV_ERROR_CANCELLED : (code ? code : 123);
    log.AddError(ORV_T("WIMCaptureImage failed - %u"), capture_.lastError);
  } else {
    RewriteImageInformation(wim, image);
    if (capture_.bootImage) wim.WIMSetBootImage(nullptr, 1);
    wim.WIMUnregisterMessageCallback(nullptr, ImageWimMessage);
    wim.WIMCloseHandle(image);
  }
  if (!wim.WIMCloseHandle(nullptr) && capture_.lastError == 0)
    capture_.lastError = wim.GetLastErrorCode();
  if (!passwordFile.empty()) os::DeleteFile(passwordFile);
  capture_.listedNames.clear();
  if (capture_.lastError != 0) return;
  Send(408, 0, 0, capture_.context);

  SplitWim(target);
  if (capture_.lastError == 0 && capture_.HasPassword()) {
    log.AddInfo(ORV_T("Set Password on %s"), target);
    COrvWim passwordWim;
    if (!passwordWim.SetPassword(target.c_str(), capture_.password.c_str()))
      capture_.lastError = passwordWim.GetLastErrorCode();
  }
}

void COrvImage::SplitWim(const WString& target) {
  COrvLog& log = COrvLog::GetInstance();
  os::FileInfo info;
  // A split size of 0 means that the image is never split.
  const uint64_t splitBytes = capture_.SplitBytes();
  if (splitBytes == 0 || os::GetInfo(target, info) != 0 || info.size <= splitBytes) return;
  DWORD error = 0;
  const WimSplitFailure failure = CutWim(target, splitBytes, error);
  if (failure == WimSplitFailure::kNone) return;
  capture_.lastError = error;
  if (failure == WimSplitFailure::kOpen) log.AddError(ORV_T("WIMCreateFile failed"));
  if (failure == WimSplitFailure::kSplit) log.AddError(ORV_T("WIMSplitFile failed"));
  // A failed split leaves the whole image under its own name again.
  if (failure != WimSplitFailure::kMove) os::MoveFile(UnsplitWimName(target), target, true);
}

COrvImage::WimSplitFailure COrvImage::CutWim(const WString& wimFile, uint64_t partBytes,
                                            DWORD& error) {
  const WString whole = UnsplitWimName(wimFile);
  error = os::MoveFile(wimFile, whole, true);
  if (error != 0) return WimSplitFailure::kMove;
  COrvWim wim;
  if (!wim.WIMCreateFile(whole.c_str(), wim::kGenericRead, wim::kOpenExisting, 0, 0, nullptr)) {
    error = wim.GetLastErrorCode();
    return WimSplitFailure::kOpen;
  }
  wim.WIMRegisterMessageCallback(nullptr, ImageWimMessage, nullptr);
  LONGLONG partSize = static_cast<LONGLONG>(std::min<uint64_t>(partBytes, INT64_MAX));
  const BOOL split = wim.WIMSplitFile(nullptr, wimFile.c_str(), &partSize, 0);
  error = split ? 0 : wim.GetLastErrorCode();
  wim.WIMUnregisterMessageCallback(nullptr, ImageWimMessage);
  wim.WIMCloseHandle(nullptr);
  if (!split) return WimSplitFailure::kSplit;
  os::DeleteFile(whole);
  return WimSplitFailure::kNone;
}

}  // namespace orv
