// The writing side of the change database: watches folder trees and records every change
// seen in them, in transactions of a fraction of a second, until told to stop. Linux
// only; 50 on Windows, where the system's own file monitor fills its database.
#pragma once

#include <vector>

#include "platform/folder_watch.h"
#include "services/file_monitor.h"

namespace orv {

// A tree to watch: the native folder, and the drive path its entries are recorded
// under ("C:\" when it stands for the root of drive C).
struct WatchedTree {
  WString folder;
  WString drivePath;
};

class ChangeRecorderReport {
 public:
  virtual ~ChangeRecorderReport() = default;
  // Every watch is set (by `mechanism`, "inotify" or "fanotify"): changes from now on
  // are recorded.
  virtual void Ready(const char* mechanism) = 0;
  // Asked between waits of a fraction of a second; true ends the recording.
  virtual bool StopRequested() = 0;
  // A change that was not recorded: its name cannot be a Windows name (123).
  virtual void Unrecorded(const WString& path, DWORD error) = 0;
  // Changes below `path` may have been missed (the system dropped events, or a folder
  // could not be watched for `error`); the folder is recorded as created, so that the
  // next recovery point takes it whole. `error` is 0 for dropped events.
  virtual void Missed(const WString& path, DWORD error) = 0;
  // The watched folder itself was deleted or moved away.
  virtual void RootGone(const WString& path) = 0;
};

// Records the changes of `trees` into the database at `databasePath` (created when
// missing, added to when it exists) until the report asks to stop; everything seen is
// committed before it returns. The time of a change is the local time it was seen. The
// database's own changes are not recorded.
DWORD RecordChanges(const std::vector<WatchedTree>& trees, WStringView databasePath,
                    ChangeRecorderReport& report);

}  // namespace orv
