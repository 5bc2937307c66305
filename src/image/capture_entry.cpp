// One entry into the current archive, with everything that can stand between an entry
// and its archive: the rotation of type-2 archives into parts, encrypted files (stored
// as their raw stream), files locked by other processes (deferred, then read from a
// snapshot or straight from the master file table), and entries that vanished or are
// denied (left out). Also the second pass over the deferred files and DATA.INP.
#include "archive/source_metadata.h"
#include "image/capture_paths.h"
#include "image/image.h"
#include "platform/dir_search.h"
#include "platform/file.h"
#include "platform/path_parts.h"
#include "platform/system.h"
#include "services/encrypted_files.h"
#include "services/log.h"
#include "services/ntfs.h"
#include "services/pseudo_random.h"
#include "services/security.h"

namespace orv {

namespace {

constexpr DWORD kRotationBytes = 104857601;  // 100 MiB + 1
constexpr DWORD kRotationFiles = 5001;
constexpr DWORD kSharingViolation = 32;

std::vector<uint8_t> ReadDescriptor(const WString& path) {
  std::vector<uint8_t> descriptor;
  if (os::GetSecurity(path, os::kAllSecurity, descriptor) != 0) descriptor.clear();
  return descriptor;
}

}  // namespace

WString COrvImage::RootOf(WStringView fullPath) const {
  if (capture_.shadow && fullPath.starts_with(capture_.shadowPath)) return capture_.shadowPath;
  return capture_.volumeRoot;
}

WString COrvImage::TemporaryCopyPath(WStringView fullPath) {
  const size_t fileAt = LastSeparator(fullPath);
  const WString name(fileAt == WStringView::npos ? fullPath : fullPath.substr(fileAt + 1));
  const size_t folderAt = LastSeparator(capture_.archivePath);
  const WString folder = (folderAt == WString::npos || fileAt == WStringView::npos)
                             ? capture_.targetDir
                             : capture_.archivePath.substr(0, folderAt);
  return Format(ORV_T("%s\\%s.%u"), folder, name, PseudoRandom());
}

bool COrvImage::RotateArchive() {
  COrvLog& log = COrvLog::GetInstance();
  capture_.archiveBytes = 0;
  capture_.archiveFiles = 0;
  if (!capture_.archive.Close()) {
    capture_.lastError = capture_.archive.GetLastErrorCode();
    return false;
  }
  const size_t folderAt = LastSeparator(capture_.archivePath);
  const WString folder = capture_.archivePath.substr(0, folderAt);
  WString name = capture_.archivePath.substr(folderAt + 1);
  size_t cut = name.rfind('_');
  if (cut == WString::npos) cut = name.rfind('.');
  if (cut != WString::npos) name.resize(cut);
  capture_.partCounter += 1;
  name = Format(ORV_T("%s_%.2d.INP"), name, capture_.partCounter);
  capture_.imageFiles.push_back(name);
  capture_.archivePath = folder + ORV_T("\\") + name;
  log.AddInfo(ORV_T("Change Image File to %s"), capture_.archivePath);
  if (!capture_.archive.Open(capture_.archivePath.c_str(), 0, capture_.archiveVersion)) {
    capture_.lastError = capture_.archive.GetLastErrorCode();
    return false;
  }
  return true;
}

COrvImage::EntryOutcome COrvImage::AddEntry(const WString& fullPath,
                                            const std::vector<uint8_t>& descriptor,
                                            const os::FindData* found) {
  COrvLog& log = COrvLog::GetInstance();
  os::FileInfo info;
  DWORD infoError = 0;
  if (found) {
    info.attributes = found->attributes;
    info.times = found->times;
    info.size = found->size;
  } else {
    infoError = os::GetInfo(fullPath, info);
  }
  const ORVFILEATTRIBUTEDATA attributes =
      archive::AttributeBlock(info.attributes, info.times,
                              (info.attributes & os::kAttrDirectory) ? 0 : info.size);
  const WString root = RootOf(fullPath);

  if (!capture_.percentageStyle && capture_.imageType == 2 &&
      (capture_.archiveBytes >= kRotationBytes || capture_.archiveFiles >= kRotationFiles) &&
      !RotateArchive())
    return EntryOutcome::kFailed;

  const WString archiveName = fullPath.substr(root.size());
  const void* sd = descriptor.empty() ? nullptr : descriptor.data();
  const DWORD sdLength = static_cast<DWORD>(descriptor.size());
  // The attributes the walk read go with the entry, so the archive does not read them
  // again; it records the size of the file as it opens it.
  DWORD error = infoError;
  if (error == 0) {
    if ((info.attributes & os::kAttrEncrypted) && !(info.attributes & os::kAttrDirectory)) {
      const WString copy = TemporaryCopyPath(fullPath);
      log.AddInfo(ORV_T("%s is an encrypted file"), archiveName);
      error = ExportEncryptedStream(fullPath, copy);
      if (error == 0 && !capture_.archive.AddFile(copy.c_str(), archiveName.c_str(), sd, sdLength,
                                                  &attributes))
        error = capture_.archive.GetLastErrorCode();
      os::DeleteFile(copy);
    } else if (!capture_.archive.AddFile(fullPath.c_str(), archiveName.c_str(), sd, sdLength,
                                         &attributes)) {
      error = capture_.archive.GetLastErrorCode();
    }
  }

  EntryOutcome outcome = EntryOutcome::kAdded;
  if (error == 0) {
    log.AddInfo(ORV_T("%s added to %s"), archiveName, capture_.archivePath);
  } else {
    capture_.lastError = error;
    log.AddInfo(ORV_T("Cannot add %s to %s - %u"), archiveName, capture_.archivePath, error);
    outcome = EntryOutcome::kFailed;
    if (!capture_.secondPass) {
      if (error == kSharingViolation) {
        log.AddInfo(ORV_T("%s is in sharing violation"), archiveName);
        capture_.sharingViolations.push_back(archiveName);
        capture_.lastError = 0;
        outcome = EntryOutcome::kDeferred;
      }
    } else {
      capture_.lastError = AddWithFallbacks(fullPath, archiveName, descriptor, attributes);
      if (capture_.lastError == 0) outcome = EntryOutcome::kAdded;
    }
    if (capture_.lastError == 2 || capture_.lastError == 5) {
      capture_.lastError = 0;
      outcome = EntryOutcome::kSkipped;
    }
  }
  if (capture_.callback && capture_.lastError == 0 && !PollContinue())
    log.AddInfo(ORV_T("Error: %u"), ORV_ERROR_CANCELLED);
  return capture_.lastError == 0 ? outcome : EntryOutcome::kFailed;
}

// A deferred file, read from the snapshot of its volume, else from the master file
// table. 0, or the code of the last attempt.
DWORD COrvImage::AddWithFallbacks(const WString& fullPath, const WString& archiveName,
                                  const std::vector<uint8_t>& descriptor,
                                  const ORVFILEATTRIBUTEDATA& attributes) {
  COrvLog& log = COrvLog::GetInstance();
  const void* sd = descriptor.empty() ? nullptr : descriptor.data();
  const DWORD sdLength = static_cast<DWORD>(descriptor.size());
  DWORD error = 0;
  if (capture_.shadow) {
    const WString shadowed = capture_.shadowPath + archiveName;
    if (capture_.archive.AddFile(shadowed.c_str(), archiveName.c_str(), sd, sdLength, &attributes)) {
      log.AddInfo(ORV_T("%s (from VSS) added to %s"), archiveName, capture_.archivePath);
      return 0;
    }
    error = capture_.archive.GetLastErrorCode();
    log.AddInfo(ORV_T("Cannot add (from VSS) %s to %s - %u"), archiveName, capture_.archivePath, error);
  }
  const WString root = RootOf(fullPath);
  if (!root.empty() && root[0] == '\\') return error;  // a snapshot device has no table to read

  const WString copy = TemporaryCopyPath(fullPath);
  const TableCopy copied = CopyThroughTable(root, fullPath, copy);
  if (copied.failedAt == TableCopy::Step::kOpenVolume) {
    log.AddError(ORV_T("Cannot open Volume %s"), root);
    return copied.error;
  }
  log.AddInfo(ORV_T("FRN of %s: %I64u (%u,%u)"), fullPath, copied.reference,
              static_cast<DWORD>(copied.reference & 0xFFFF),
              static_cast<DWORD>(copied.reference >> 32));
  if (copied.failedAt == TableCopy::Step::kCopy) {
    error = copied.error;
    log.AddError(ORV_T("Cannot extract (from MFT) %s to %s - %u"), fullPath, copy, error);
  } else if (capture_.archive.AddFile(copy.c_str(), archiveName.c_str(), sd, sdLength, &attributes)) {
    log.AddInfo(ORV_T("%s (from MFT) added to %s"), archiveName, capture_.archivePath);
    error = 0;
  } else {
    error = capture_.archive.GetLastErrorCode();
    log.AddInfo(ORV_T("Cannot add (from MFT) %s to %s - %u"), archiveName, capture_.archivePath, error);
  }
  os::DeleteFile(copy);
  return error;
}

void COrvImage::SecondPass(const COrvPartition& partition) {
  capture_.secondPass = true;
  if (capture_.lastError != 0 || capture_.sharingViolations.empty()) return;
  capture_.shadow = false;
  TakeShadowCopy(partition);
  for (const WString& name : capture_.sharingViolations) {
    if (capture_.lastError != 0) break;
    const WString fullPath = capture_.volumeRoot + name;
    COrvSecurity keeper(fullPath.c_str());
    const bool keepsAcls = keeper.IsOnDriveWithPermanentACLs();
    AddEntry(fullPath, keepsAcls ? ReadDescriptor(fullPath) : std::vector<uint8_t>());
    os::FileInfo info;
    if (os::GetInfo(fullPath, info) == 0 && !(info.attributes & os::kAttrDirectory))
      AddBytesDone(info.size);
    if (capture_.callback && capture_.lastError == 0) {
      ReportBytesDone();
      if (capture_.lastError == 0) PollContinue();
    }
    if (keepsAcls) keeper.RestoreOriginalSecurityDescriptor();
  }
  ReleaseShadowCopy();
}

void COrvImage::BuildDataArchive(const WString& archivePath, const WString& root) {
  COrvLog& log = COrvLog::GetInstance();
  os::DeleteFile(archivePath);
  capture_.archivePath = archivePath;
  // Entries that only this archive holds would be lost without it: a create that fails
  // fails the capture.
  if (!capture_.archive.Open(archivePath.c_str(), 0, 5)) {
    capture_.lastError = capture_.archive.GetLastErrorCode();
    log.AddError(ORV_T("Cannot create %s - %u"), archivePath, capture_.lastError);
    return;
  }
  capture_.archiveBytes = 0;
  capture_.archiveFiles = 0;
  const WString prefix = WithSeparator(root);
  // A 32-bit process on 64-bit Windows leaves whole encrypted folders out of the WIM
  // image, so their content comes here as well.
  const bool withSubtrees = os::IsWow64Process();
  std::vector<WString> pending(capture_.leftovers.rbegin(), capture_.leftovers.rend());
  while (!pending.empty() && capture_.lastError == 0) {
    const WString fullPath = prefix + pending.back();
    pending.pop_back();
    os::FileInfo info;
    if (os::GetInfo(fullPath, info) != 0) continue;
    COrvSecurity keeper(fullPath.c_str());
    const bool keepsAcls = keeper.IsOnDriveWithPermanentACLs();
    std::vector<uint8_t> descriptor;
    const bool reparse = info.attributes & os::kAttrReparsePoint;
    if (keepsAcls) {
      descriptor = ReadDescriptor(fullPath);
      log.AddInfo(ORV_T("File: %s - Length of Security descriptor: %u"), fullPath,
                  static_cast<DWORD>(descriptor.size()));
      if (!reparse) keeper.DACL_Administrators_AddAllowedAccess(0x1F0000, 0);
    }
    AddEntry(fullPath, descriptor);
    if (withSubtrees && (info.attributes & os::kAttrDirectory) && !reparse) {
      os::DirSearch search;
      os::FindData data;
      for (DWORD found = search.First(fullPath + ORV_T("\\*.*"), data); found == 0;
           found = search.Next(data)) {
        if (data.name == ORV_T(".") || data.name == ORV_T("..")) continue;
        const WString below = fullPath.substr(prefix.size()) + ORV_T("\\") + data.name;
        if (below.size() + 3 < kMaxCapturedPath) pending.push_back(below);
      }
    }
    if (keepsAcls) keeper.RestoreOriginalSecurityDescriptor();
  }
  if (!capture_.archive.Close() && capture_.lastError == 0)
    capture_.lastError = capture_.archive.GetLastErrorCode();
}

}  // namespace orv
