// The change scan of a differential image: every entry of the volume is judged against
// the reference table once, each folder read once (names, sizes, times and attributes
// together), and the reference looked up by a hash of names.
#include "fsutil/delete_tree.h"
#include "image/change_rules.h"
#include "image/image.h"
#include "platform/case_fold.h"
#include "platform/dir_search.h"
#include "platform/file.h"
#include "platform/process.h"
#include "services/log.h"
#include "services/security.h"

namespace orv {

namespace {

constexpr DWORD kAdministratorsAccess = 0x1F0000;
constexpr DWORD kSharingViolation = 32;

bool IsFolder(const os::FindData& found) { return (found.attributes & os::kAttrDirectory) != 0; }
bool IsReparse(const os::FindData& found) { return (found.attributes & os::kAttrReparsePoint) != 0; }

// Whether the file can be opened for reading as a copy would open it.
bool InSharingViolation(const WString& path) {
  os::File file;
  return file.Open(path, os::kGenericRead, os::kShareRead, os::Disposition::kOpenExisting) ==
         kSharingViolation;
}

// An entry the administrators cannot read is taken over; false when it still cannot be.
// Only volumes that keep access lists are tested, and the descriptor is kept only for
// an entry that fails: the walk tests every entry.
bool RecoverAccess(const WString& path, bool volumeKeepsAcls, COrvError& error) {
  if (!volumeKeepsAcls || COrvSecurity::CanOpen(path)) return true;
  COrvSecurity keeper(path.c_str());
  COrvLog& log = COrvLog::GetInstance();
  log.AddInfo(ORV_T("Cannot access to %s"), path);
  TakeOwnershipAndChildren(path.c_str(), error);
  keeper.DACL_Administrators_AddAllowedAccess(kAdministratorsAccess, 1);
  if (keeper.CanAccess(1)) return true;
  log.AddInfo(ORV_T("Cannot access (twice) to %s"), path);
  return false;
}

}  // namespace

void COrvImage::DiffFindAllFiles() {
  COrvLog& log = COrvLog::GetInstance();
  log.EnterFunction(ORV_T("void COrvImage::DiffFindAllFiles()"));
  capture_.bytesDone = 0;
  capture_.lastError = 0;
  diff_.changeBytes = 0;
  diff_.changeCount = 0;
  diff_.inNewDirectory = false;
  capture_.volumeKeepsAcls = COrvSecurity(diff_.volumeRoot.c_str()).IsOnDriveWithPermanentACLs();
  DiffWalk(WString());
  log.ExitFunction();
}

bool COrvImage::DiffWalk(const WString& relativeFolder) {
  COrvLog& log = COrvLog::GetInstance();
  const WString folder = diff_.volumeRoot + relativeFolder;
  os::DirSearch search;
  os::FindData found;
  // Unchanged files are judged by size and time alone; what else a changed one needs is
  // read when it is found changed.
  DWORD error = search.First(folder + ORV_T("*.*"), found, os::SearchDetail::kBasic);
  if (error != 0) {
    if (error != err::kFileNotFound) log.AddInfo(ORV_T("FindFirstFile(%s) failed - %u"), folder, error);
    // A volume that cannot be read at all would make every entry look deleted.
    if (relativeFolder.empty() && error != err::kFileNotFound) capture_.lastError = error;
    return false;
  }
  bool changed = false;
  for (; error == 0 && capture_.lastError == 0; error = search.Next(found)) {
    if (found.name == ORV_T(".") || found.name == ORV_T("..")) continue;
    const WString full = folder + found.name;
    const WString relative = relativeFolder + found.name;
    if (IsLeftOutOfScan(full)) continue;
    const bool isFolder = IsFolder(found);
    if (!IsReparse(found) && !RecoverAccess(full, capture_.volumeKeepsAcls, m_Error) && isFolder) {
      SetUnchanged(relative, true);
      continue;
    }
    // Without a callback every entry is examined.
    if (Send(400, 0, 0, reinterpret_cast<ORVVALUE>(full.c_str()))) {
      const bool entryChanged = ExamineEntry(full, found);
      if (!isFolder) changed = changed || entryChanged;
    } else {
      log.AddInfo(ORV_T("%s set to unchanged"), relative);
      SetUnchanged(relative, isFolder);
      diff_.inNewDirectory = false;
    }
    if (!isFolder) capture_.bytesDone += found.size;
    if (capture_.callback &&
        (!Send(104, static_cast<ORVVALUE>(static_cast<DWORD>(capture_.bytesDone / 1024)), 0,
               capture_.context) ||
         !Send(404, 0, 0, capture_.context))) {
      capture_.lastError = ORV_ERROR_CANCELLED;
      break;
    }
    if (!isFolder) continue;
    bool changedBelow = false;
    if (!IsReparse(found)) changedBelow = DiffWalk(relative + ORV_T("\\"));
    if (diff_.inNewDirectory && os::CompareNoCase(full, diff_.newDirectory) == 0)
      diff_.inNewDirectory = false;
    // A folder of the reference whose content did not change (an empty one included) is
    // not stored for its own sake; new folders and links keep what the rules said.
    const auto entry = diff_.table.find(WStringView(relative));
    if (!changedBelow && !IsReparse(found) && entry != diff_.table.end() &&
        entry->second.state == kModified)
      entry->second.state = kUnchanged;
    changed = changed || changedBelow ||
              (entry != diff_.table.end() &&
               (entry->second.state == kNew || entry->second.state == kModified));
  }
  return changed;
}

bool COrvImage::ExamineEntry(const WString& fullPath, const os::FindData& found) {
  COrvLog& log = COrvLog::GetInstance();
  if (fullPath.empty() || fullPath.back() == '.') return false;
  const bool isFolder = IsFolder(found);
  const bool unchangedRequest =
      capture_.callback != nullptr &&
      Send(403, isFolder ? 1 : 0, 0, reinterpret_cast<ORVVALUE>(fullPath.c_str())) != 0;
  const WStringView relative = WStringView(fullPath).substr(diff_.volumeRoot.size());
  const int64_t time = CrcTimeValue(found.times.lastWrite);
  const uint64_t size = isFolder ? 0 : found.size;
  const DWORD marker = isFolder ? kCrcDirectoryMarker : kCrcFileMarker;
  auto entry = diff_.table.find(relative);
  const bool known = entry != diff_.table.end();
  auto insert = [&](DWORD state) {
    CrcRecord record;
    record.state = state;
    record.marker = marker;
    record.size = size;
    record.time = time;
    record.attributes = found.attributes;
    record.lastWrite = found.times.lastWrite;
    entry = diff_.table.emplace(COrvString(relative), record).first;
  };

  if (diff_.inNewDirectory) {
    log.AddInfo(ORV_T("%s is new (in a new directory)"), WString(relative));
    if (!known) insert(kNew);
  } else if (isFolder) {
    if (known) {
      CrcRecord& record = entry->second;
      record.attributes = found.attributes;
      record.lastWrite = found.times.lastWrite;
      if (unchangedRequest) {
        record.state = kUnchanged;
      } else if (IsReparse(found)) {
        record.state = ReparseFolderChange(record.time, time);
        if (record.state == kModified) log.AddInfo(ORV_T("%s is a modified reparse point."), WString(relative));
      } else {
        record.state = kModified;  // until the walk finds nothing changed inside
      }
    } else if (unchangedRequest) {
      insert(kUnchanged);
    } else {
      log.AddInfo(ORV_T("%s is new (dir)"), WString(relative));
      insert(kNew);
      if (!IsReparse(found)) {
        diff_.newDirectory = fullPath;
        diff_.inNewDirectory = true;
      }
    }
  } else if (known) {
    CrcRecord& record = entry->second;
    record.state = FileChange(record.size, record.time, size, time);
    if (record.state == kModified)
      log.AddInfo(record.size != size ? ORV_T("%s is modified by size") : ORV_T("%s is modified by date"), WString(relative));
    record.size = size;
    record.time = time;
    record.marker = marker;
    record.attributes = found.attributes;
    record.lastWrite = found.times.lastWrite;
  } else {
    log.AddInfo(ORV_T("%s is new"), WString(relative));
    insert(kNew);
  }

  CrcRecord& record = entry->second;
  if (os::CompareNoCase(relative, ORV_T("winnt")) == 0 ||
      os::CompareNoCase(relative, ORV_T("windows")) == 0 || unchangedRequest) {
    log.AddInfo(ORV_T("%s set to unchanged"), fullPath);
    record.state = kUnchanged;
  }
  if (record.state != kNew && record.state != kModified) return false;
  // Only a file that will be copied is opened: one that cannot be read for sharing
  // needs the volume's snapshot.
  DWORD attributes = found.attributes;
  if (!isFolder && os::GetAttributes(fullPath, attributes) == 0) record.attributes = attributes;
  if (!isFolder && !(attributes & os::kAttrEncrypted) && InSharingViolation(fullPath)) {
    log.AddInfo(ORV_T("%s is in sharing violation"), WString(relative));
    diff_.shadowNeeded = true;
    record.sharingViolation = true;
  }
  if (!isFolder) {
    diff_.changeBytes += record.size;
    diff_.changeCount += 1;
  }
  return true;
}

void COrvImage::SetUnchanged(const WString& relative, bool folder) {
  const auto entry = diff_.table.find(WStringView(relative));
  if (entry != diff_.table.end()) entry->second.state = kUnchanged;
  if (!folder) return;
  const WString prefix = relative + ORV_T("\\");
  for (auto& [name, record] : diff_.table)
    if (os::StartsWithNoCase(name.str(), prefix)) record.state = kUnchanged;
}

}  // namespace orv
