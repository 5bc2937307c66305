// The change list of a recovery point: what the file-monitoring component saw change
// on the system drive after the previous recovery point, as two maps of paths below the
// drive's root ("\dir\file"), compared without regard to case.
#pragma once

#include <map>

#include "services/file_monitor.h"
#include "services/string.h"
#include "vantrel/vantrel.h"

namespace orv {

struct ChangedPath {
  DWORD attributes = 0;  // as the change list reports them
  DWORD kind = 0;        // MonitoredChangeKind
};
using ChangedPaths = std::map<COrvString, ChangedPath, COrvStringLess>;

struct ChangeList {
  ChangedPaths changed;
  ChangedPaths deleted;
  // Paths taken in, less those taken out again: the amount of work, for progress.
  int64_t entries = 0;
};

// Reads the changes recorded after `since` (a local file time). The caller is asked
// about each change (404 cancels, 400 skips it). Changes whose paths are not below the
// root of `systemDrive` are refused with a log line and never looked at. 0, or
// ORV_ERROR_CANCELLED.
DWORD ReadChangeList(IOrvFilesMonitoring& monitor, os::FileTime since, WStringView systemDrive,
                     ORVDCALLBACK callback, ChangeList& list);

// Every entry below the folder `relative` on the live system drive, links not entered,
// as changed (the folder itself stands for their creation).
void AddFolderContent(WStringView systemDrive, const WString& relative, ChangedPaths& changed,
                      int64_t& entries);

}  // namespace orv
