// The walk of one mounted volume into the current archive: every entry below the root
// except the default exclusions and paths of 240 characters or more, each offered to the
// caller (400), read with its security descriptor (taking access where the process has
// none, and giving it back afterwards), added, listed in ALL.CRC and counted.
#include <utility>
#include <vector>

#include "archive/source_metadata.h"
#include "image/access_repair.h"
#include "image/catalogue_crc.h"
#include "image/exclusions.h"
#include "image/capture_paths.h"
#include "image/image.h"
#include "platform/dir_search.h"
#include "platform/file.h"
#include "services/log.h"

namespace orv {

void COrvImage::ProcessFileAndFolders(const WString& folder) {
  COrvLog& log = COrvLog::GetInstance();
  const WString prefix = WithSeparator(folder);
  os::DirSearch search;
  os::FindData data;
  // The search reads each entry's security descriptor with the rest of its metadata.
  DWORD found = search.First(prefix + ORV_T("*.*"), data, os::SearchDetail::kWithSecurity);
  if (found != 0) {
    if (found != 2 && found != 18) log.AddError(ORV_T("Cannot search %s - %u"), folder, found);
    return;
  }
  for (; found == 0; found = search.Next(data)) {
    if (data.name == ORV_T(".") || data.name == ORV_T("..")) continue;
    const WString fullPath = prefix + data.name;
    const WString relative = fullPath.substr(capture_.volumeRoot.size());
    const WString displayName = DisplayName(relative);
    if (ExcludedFromWalk(displayName) || IsTooLongToCapture(displayName)) continue;

    if (!Send(400, static_cast<ORVVALUE>(static_cast<DWORD>(data.size)),
              static_cast<ORVVALUE>(static_cast<DWORD>(data.size >> 32)),
              reinterpret_cast<ORVVALUE>(displayName.c_str())))
      continue;

    const bool directory = data.attributes & os::kAttrDirectory;
    const bool reparse = data.attributes & os::kAttrReparsePoint;
    std::vector<uint8_t> descriptor = std::move(data.security);
    if (data.securityError != 0) {
      log.AddInfo(ORV_T("GetNamedSecurityInfo failed on %s: %u"), fullPath, data.securityError);
      descriptor.clear();
    }
    AccessRepair access;
    access.Take(fullPath, directory, reparse, capture_.volumeKeepsAcls,
                ORV_T("Cannot access to %s"));

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
    // The archive of a folder (CreateImageFile) has no catalogue.
    if (outcome != EntryOutcome::kSkipped && capture_.lastError == 0 && capture_.crc.IsOpen()) {
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
