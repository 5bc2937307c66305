// The backup half of a differential image: the new and modified entries go into a
// version 5 archive (in parts of 100 MiB) with the parent folders they need, every
// entry still there into ALL.CRC, every entry gone into DEL.XML.
#include <algorithm>
#include <vector>

#include "fsutil/delete_tree.h"
#include "image/change_rules.h"
#include "image/readable_descriptor.h"
#include "image/image.h"
#include "image/image_privileges.h"
#include "platform/case_fold.h"
#include "platform/file.h"
#include "services/log.h"

namespace orv {

namespace {

constexpr uint64_t kPartBytes = 104857600;  // a part is closed once it holds more
constexpr int kDifferentialArchiveVersion = 5;  // the merge copies its blocks as they are

}  // namespace

bool COrvImage::OpenDifferentialArchive() {
  // A set kept in a mounted image has its archive beside it, for what a copy cannot carry.
  if (IsMountedKind() && !MountDifferentialImage()) return false;
  const WString name = IsMountedKind() ? ORV_T("DATA.INP") : ORV_T("BASE.INP");
  const WString path = capture_.targetDir + ORV_T("\\") + name;
  DeleteArchiveFiles(path);
  capture_.archivePath = path;
  capture_.archiveVersion = kDifferentialArchiveVersion;
  capture_.partCounter = 0;
  capture_.archiveBytes = 0;
  capture_.archiveFiles = 0;
  capture_.imageFiles.push_back(name);
  COrvLog::GetInstance().AddInfo(ORV_T("Current archive: %s"), path);
  if (!capture_.archive.Open(path.c_str(), 0, kDifferentialArchiveVersion)) {
    capture_.lastError = capture_.archive.GetLastErrorCode();
    COrvLog::GetInstance().AddError(ORV_T("COrvMorlet::Open failed"));
    return false;
  }
  return true;
}

void COrvImage::BackupFiles() {
  COrvLog& log = COrvLog::GetInstance();
  log.EnterFunction(ORV_T("void COrvImage::BackupFiles()"));
  log.AddInfo(ORV_T("Start Backup... Size: %I64u"), diff_.changeBytes);
  if (!OpenDifferentialArchive()) {
    UnmountDifferentialImage();
    return log.ExitFunction();
  }
  // Files that could not be read for sharing come from a snapshot where there is one.
  capture_.shadow = false;
  if (diff_.shadowNeeded) log.AddInfo(ORV_T("Files in sharing violation: read through the MFT"));
  capture_.secondPass = true;  // a failed read tries the fallbacks at once
  ImagePrivileges privileges(kCapturePrivilegeCount);

  // Catalogue order: case-insensitive name order, each name folded once for the sort.
  std::vector<std::pair<WString, const CrcTable::Entry*>> sorted;
  sorted.reserve(diff_.table.size());
  for (const auto& entry : diff_.table) sorted.emplace_back(os::FoldedKey(entry.first.str()), &entry);
  std::sort(sorted.begin(), sorted.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  log.AddInfo(ORV_T("Item Count: %I64u"), static_cast<uint64_t>(sorted.size()));
  diff_.storedParents.clear();

  uint64_t processed = 0;
  for (const auto& [key, entry] : sorted) {
    const WString& name = entry->first.str();
    const CrcRecord& record = entry->second;
    if (record.state == kNotSeen) {
      AddDeletedEntry(diff_.deletions, name, record.marker == kCrcDirectoryMarker);
    } else {
      capture_.crc.Append(name, record.marker, record.size, record.time);
    }
    ReportBackupProgress(processed, sorted.size());
    if (capture_.lastError != 0) break;
    if (record.state == kNew || record.state == kModified) {
      const bool stored = IsMountedKind() ? CopyIntoMountedImage(name) : StoreWithParents(name);
      if (!stored) break;
    }
    ++processed;
    if (StopRequested()) {
      capture_.lastError = ORV_ERROR_CANCELLED;
      break;
    }
  }
  // Entries that vanished since the scan, or that cannot be read, are left out.
  if (capture_.lastError == 2 || capture_.lastError == 5) capture_.lastError = 0;
  if (!capture_.archive.Close() && capture_.lastError == 0)
    capture_.lastError = capture_.archive.GetLastErrorCode();
  UnmountDifferentialImage();  // with its commit
  capture_.secondPass = false;
  log.ExitFunction();
}

bool COrvImage::StoreWithParents(const WString& name) {
  if (capture_.archiveBytes > kPartBytes) {
    if (!RotateArchive()) return false;
    diff_.storedParents.clear();  // a new part starts with no folder stored
  }
  // The folders on the way, each once per archive, with their own descriptors.
  for (size_t slash = name.find('\\'); slash != WString::npos; slash = name.find('\\', slash + 1)) {
    const WString parent = name.substr(0, slash);
    if (!diff_.storedParents.insert(COrvString(parent)).second) continue;
    const WString full = diff_.volumeRoot + parent;
    if (AddEntry(full, ReadEntryDescriptor(full).bytes) == EntryOutcome::kFailed) return false;
  }
  const WString full = diff_.volumeRoot + name;
  os::FileInfo info;
  if (const DWORD error = os::GetInfo(full, info)) {
    COrvLog::GetInstance().AddInfo(ORV_T("GetFileAttributesEx Error on %s =%u"), full, error);
    return true;  // gone since the scan
  }
  // A folder already stored as the parent of an earlier entry is there once.
  if ((info.attributes & os::kAttrDirectory) && !diff_.storedParents.insert(COrvString(name)).second)
    return true;
  if (AddEntry(full, ReadEntryDescriptor(full).bytes) == EntryOutcome::kFailed) return false;
  if (!(info.attributes & os::kAttrDirectory)) {
    const uint64_t bytes = uint64_t{capture_.archiveBytes} + info.size;
    capture_.archiveBytes = bytes >= 0xFFFFFFFF ? 0xFFFFFFFF : static_cast<DWORD>(bytes);
  }
  return true;
}

void COrvImage::ReportBackupProgress(uint64_t processed, uint64_t count) {
  if (capture_.callback == nullptr || count == 0) return;
  // The scan took the first half of the range, the backup takes the second.
  const uint64_t total = diff_.usedSpace;
  const double share = static_cast<double>(processed) / static_cast<double>(count);
  const uint64_t position = static_cast<uint64_t>(share * static_cast<double>(total) + static_cast<double>(total)) / 1024;
  if (!Send(104, static_cast<ORVVALUE>(static_cast<DWORD>(position)), 0, capture_.context) ||
      !Send(404, 0, 0, capture_.context))
    capture_.lastError = ORV_ERROR_CANCELLED;
}

}  // namespace orv
