// The file-monitoring component: a database of the files changed on the volumes, from
// which recovery points take the files changed after a date.
#pragma once

#include <memory>
#include <vector>

#include "platform/clock.h"

namespace orv {

class IOrvFilesMonitoring {
 public:
  virtual ~IOrvFilesMonitoring() = default;
  virtual DWORD OpenDatabase(WStringView databasePath) = 0;
  // The paths of the files changed after `since` (a file time).
  virtual DWORD ChangedFilesAfter(os::FileTime since, std::vector<WString>& files) = 0;
};

// The component; fails with kComponentNotRegistered (services/shadow_copy.h) where it
// is not installed.
DWORD CreateFilesMonitoring(std::unique_ptr<IOrvFilesMonitoring>& component);

}  // namespace orv
