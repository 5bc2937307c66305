// The file-monitoring component: a database of the changes seen on the volumes while the
// system runs, from which recovery points take what changed after a date.
#pragma once

#include <memory>

#include "platform/clock.h"
#include "platform/text.h"

namespace orv {

// What happened to a path. Only kChangeDeleted has a meaning of its own to the readers;
// a folder reported as kChangeCreated is new with everything below it.
enum MonitoredChangeKind : DWORD {
  kChangeCreated = 0,
  kChangeModified = 1,
  kChangeDeleted = 2,
  kChangeAttributes = 3,
};

struct MonitoredChange {
  WString path;           // full path, "C:\dir\file"
  DWORD kind = 0;         // MonitoredChangeKind
  DWORD attributes = 0;   // the path's file attributes when the change was seen
  os::FileTime time = 0;  // local file time of the change
};

class IOrvFilesMonitoring {
 public:
  virtual ~IOrvFilesMonitoring() = default;
  // Opens the change database; a nonzero answer is the reason it could not be opened.
  virtual DWORD OpenDatabase(WStringView databasePath) = 0;
  virtual void CloseDatabase() = 0;
  // The oldest change recorded after `since` (a local file time), then the following
  // ones in the order they happened; nonzero when there is none (more).
  virtual DWORD FirstChangeAfter(os::FileTime since, MonitoredChange& change) = 0;
  virtual DWORD NextChange(MonitoredChange& change) = 0;

  // Notices around a recovery point, for a component that pauses or marks its journal:
  // the work starts; the change list has been read (also said on every way out before
  // the snapshot exists); the archive is about to be filled; the snapshot is about to
  // be made.
  virtual void WorkStarts() {}
  virtual void ChangeListTaken() {}
  virtual void ArchiveStarts() {}
  virtual void SnapshotStarts() {}
};

// The component; fails with kComponentNotRegistered (services/shadow_copy.h) where it
// is not installed.
DWORD CreateFilesMonitoring(std::unique_ptr<IOrvFilesMonitoring>& component);

}  // namespace orv
