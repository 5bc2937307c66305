// The bytes a folder capture will read: every file below the folder that the caller
// takes (400), offered under the names the capture walk gives them, links not followed.
#include <vector>

#include "image/access_repair.h"
#include "image/capture_paths.h"
#include "image/image.h"
#include "platform/dir_search.h"
#include "platform/file.h"
#include "services/log.h"

namespace orv {

uint64_t COrvImage::CountFolderSize(const WString& folder) {
  COrvLog& log = COrvLog::GetInstance();
  const WString prefix = WithSeparator(folder);
  uint64_t total = 0;
  os::DirSearch search;
  os::FindData data;
  // Names, sizes and kinds are all the count needs.
  for (DWORD found = search.First(prefix + ORV_T("*.*"), data, os::SearchDetail::kBasic);
       found == 0; found = search.Next(data)) {
    if (data.name == ORV_T(".") || data.name == ORV_T("..")) continue;
    const WString fullPath = prefix + data.name;
    const WString root = RootOf(fullPath);
    if (fullPath.size() < root.size()) continue;
    // The same names and the same length limit as the walk, so that the count and the
    // capture take the same entries.
    const WString displayName = DisplayName(WStringView(fullPath).substr(root.size()));
    if (IsTooLongToCapture(displayName)) continue;
    if (!Send(400, static_cast<ORVVALUE>(static_cast<DWORD>(data.size)),
              static_cast<ORVVALUE>(static_cast<DWORD>(data.size >> 32)),
              reinterpret_cast<ORVVALUE>(displayName.c_str())))
      continue;

    // A link adds nothing: what it leads to is not part of the folder.
    if (data.attributes & os::kAttrReparsePoint) continue;
    if (!(data.attributes & os::kAttrDirectory)) {
      total += data.size;
      continue;
    }
    // A folder the process cannot list is opened up for the count, and closed again.
    std::vector<uint8_t> descriptor;
    if (DWORD error = os::GetSecurity(fullPath, os::kAllSecurity, descriptor)) {
      log.AddInfo(ORV_T("GetNamedSecurityInfo failed on %s: %u"), fullPath, error);
      descriptor.clear();
    }
    AccessRepair access;
    access.Take(fullPath, true, false, capture_.volumeKeepsAcls, ORV_T("Cannot Access %s"));
    total += CountFolderSize(fullPath);
    if (access.Taken() && !descriptor.empty()) os::SetSecurity(fullPath, os::kAllSecurity, descriptor);
    access.GiveBack();
  }
  return total;
}

}  // namespace orv
