// The privileges an image operation holds while it runs: backup, restore and security
// for restores and listings, and take-ownership besides for captures.
#pragma once

#include <memory>
#include <vector>

#include "platform/system.h"

namespace orv {

inline constexpr size_t kRestorePrivilegeCount = 3;
inline constexpr size_t kCapturePrivilegeCount = 4;

// The first `count` image privileges, held until Release or the end of the object; only
// those this code enabled are disabled again.
class ImagePrivileges {
 public:
  explicit ImagePrivileges(size_t count) {
    static const Char* const kNames[] = {ORV_T("SeBackupPrivilege"), ORV_T("SeRestorePrivilege"),
                                         ORV_T("SeSecurityPrivilege"),
                                         ORV_T("SeTakeOwnershipPrivilege")};
    for (size_t i = 0; i < count && i < std::size(kNames); ++i)
      holds_.push_back(std::make_unique<os::PrivilegeHold>(kNames[i]));
  }
  void Release() { holds_.clear(); }

 private:
  std::vector<std::unique_ptr<os::PrivilegeHold>> holds_;
};

}  // namespace orv
