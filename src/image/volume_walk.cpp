// The walk of one mounted volume into the current archive: every entry below the root
// except the default exclusions and paths of 240 characters or more, each offered to the
// caller (400), read with its security descriptor (taking access where the process has
// none, and giving it back afterwards), added, listed in ALL.CRC and counted.
#include <memory>
#include <vector>

#include "archive/source_metadata.h"
#include "fsutil/delete_tree.h"
#include "image/catalogue_crc.h"
#include "image/exclusions.h"
#include "image/capture_paths.h"
#include "image/image.h"
#include "platform/dir_search.h"
#include "platform/file.h"
#include "services/log.h"
#include "services/security.h"

namespace orv {

namespace {

// Full standard rights for the Administrators, granted where an entry cannot be read.
constexpr DWORD kAdministratorsAccess = 0x1F0000;

}  // namespace

// The access an entry was given so that it could be read, and what it had before, for
// the entry and for the direct children that taking ownership of it changed.
struct AccessRepair {
  std::unique_ptr<COrvSecurity> entry;
  std::vector<std::unique_ptr<COrvSecurity>> children;

  // Takes ownership of an entry the process cannot read and grants the Administrators
  // full rights. Nothing happens where the volume keeps no access lists (a property of
  // the volume, asked once per partition), for reparse points, and for entries that can
  // be read.
  void Take(const WString& path, bool directory, bool reparse, bool volumeKeepsAcls) {
    if (reparse || !volumeKeepsAcls) return;
    auto keeper = std::make_unique<COrvSecurity>(path.c_str());
    if (keeper->CanAccess(1)) return;
    COrvLog::GetInstance().AddInfo(ORV_T("Cannot access to %s"), path);
    if (directory) RememberChildren(path);
    COrvError error;
    TakeOwnershipAndChildren(path.c_str(), error);
    keeper->DACL_Administrators_AddAllowedAccess(kAdministratorsAccess, 1);
    entry = std::move(keeper);
  }

  bool Taken() const { return entry != nullptr; }

  // Puts back what every changed entry had.
  void GiveBack() {
    if (entry) entry->RestoreOriginalSecurityDescriptor();
    for (auto& child : children) child->RestoreOriginalSecurityDescriptor();
    entry.reset();
    children.clear();
  }

 private:
  void RememberChildren(const WString& folder) {
    os::DirSearch search;
    os::FindData data;
    for (DWORD error = search.First(folder + ORV_T("\\*.*"), data); error == 0;
         error = search.Next(data)) {
      if (data.name == ORV_T(".") || data.name == ORV_T("..")) continue;
      children.push_back(std::make_unique<COrvSecurity>((folder + ORV_T("\\") + data.name).c_str()));
    }
  }
};

void COrvImage::ProcessFileAndFolders(const WString& folder) {
  COrvLog& log = COrvLog::GetInstance();
  const WString prefix = WithSeparator(folder);
  os::DirSearch search;
  os::FindData data;
  DWORD found = search.First(prefix + ORV_T("*.*"), data);
  if (found != 0) {
    if (found != 2 && found != 18) log.AddError(ORV_T("Cannot search %s - %u"), folder, found);
    return;
  }
  for (; found == 0; found = search.Next(data)) {
    if (data.name == ORV_T(".") || data.name == ORV_T("..")) continue;
    const WString fullPath = prefix + data.name;
    const WString relative = fullPath.substr(capture_.volumeRoot.size());
    const WString displayName = ORV_T(":\\") + relative;
    // The length of the Windows path ("X:\" and the relative path), whatever the root.
    if (ExcludedFromWalk(displayName) || displayName.size() + 1 >= kMaxCapturedPath) continue;

    if (!Send(400, static_cast<ORVVALUE>(static_cast<DWORD>(data.size)),
              static_cast<ORVVALUE>(static_cast<DWORD>(data.size >> 32)),
              reinterpret_cast<ORVVALUE>(displayName.c_str())))
      continue;

    const bool directory = data.attributes & os::kAttrDirectory;
    const bool reparse = data.attributes & os::kAttrReparsePoint;
    std::vector<uint8_t> descriptor;
    if (DWORD error = os::GetSecurity(fullPath, os::kAllSecurity, descriptor)) {
      log.AddInfo(ORV_T("GetNamedSecurityInfo failed on %s: %u"), fullPath, error);
      descriptor.clear();
    }
    AccessRepair access;
    access.Take(fullPath, directory, reparse, capture_.volumeKeepsAcls);

    if (StopRequested()) {
      access.GiveBack();
      capture_.lastError = ORV_ERROR_CANCELLED;
      capture_.cancelled = true;
      return;
    }

    const EntryOutcome outcome = AddEntry(fullPath, descriptor, &data);
    if (capture_.lastError != 0) log.AddInfo(ORV_T("ProcessFileAndFolders returns %u"), capture_.lastError);

    // An entry that could not be read (vanished, or denied) is not in the image, so it
    // gets no catalogue line: a later differential image then takes it when it can.
    if (outcome != EntryOutcome::kSkipped && capture_.lastError == 0) {
      const DWORD error = capture_.crc.Append(
          relative, directory ? kCrcDirectoryMarker : kCrcFileMarker, data.size,
          CrcTimeValue(data.times.lastWrite));
      if (error != 0) {
        log.AddError(ORV_T("Cannot write the catalogue line of %s - %u"), relative, error);
        capture_.lastError = error;
      }
    }
    if (!capture_.percentageStyle && capture_.current && outcome != EntryOutcome::kSkipped) {
      capture_.current->bytes += data.size;
      capture_.current->files += 1;
    }
    capture_.archiveFiles += 1;
    if (data.size >= 0xFFFFFFFFull || capture_.archiveBytes + data.size >= 0xFFFFFFFFull)
      capture_.archiveBytes = 0xFFFFFFFF;
    else
      capture_.archiveBytes += static_cast<DWORD>(data.size);

    if (outcome != EntryOutcome::kDeferred) AddBytesDone(directory ? 0 : data.size);
    if (capture_.callback && capture_.lastError == 0) {
      ReportBytesDone();
      if (capture_.lastError == 0) PollContinue();
    }

    if (capture_.lastError == 0 && directory && !reparse) ProcessFileAndFolders(fullPath);

    // The descriptor read before access was taken goes back whole (with its audit list),
    // and so do those of the children that taking ownership changed. The capture runs
    // with the restore and security privileges enabled.
    if (access.Taken() && !descriptor.empty()) os::SetSecurity(fullPath, os::kAllSecurity, descriptor);
    access.GiveBack();
    if (capture_.lastError != 0) return;
  }
}

}  // namespace orv
