// What a folder event records in the change database.
#include "services/change_recorder.h"

#include "platform/errors.h"

namespace orv {

namespace {

// The attributes of an entry that is gone: all that is left to say is whether it was a
// folder, which is what a deletion list needs.
DWORD AttributesOfGone(bool isFolder) { return isFolder ? os::kAttrDirectory : os::kAttrNormal; }

}  // namespace

bool ChangeOfEvent(const os::FolderEvent& event, os::FileTime localTime, MonitoredChange& change) {
  using Kind = os::FolderEvent::Kind;
  if (event.error == err::kInvalidName || event.kind == Kind::kRootGone) return false;
  switch (event.kind) {
    case Kind::kCreated:
    case Kind::kLost:  // taken whole by the next recovery point
      change.kind = kChangeCreated;
      break;
    case Kind::kWritten:
      change.kind = kChangeModified;
      break;
    case Kind::kDeleted:
      change.kind = kChangeDeleted;
      break;
    case Kind::kAttributes:
      change.kind = kChangeAttributes;
      break;
    case Kind::kRootGone:
      return false;
  }
  change.path = event.path;
  change.attributes = event.found ? event.info.attributes : AttributesOfGone(event.isFolder);
  change.time = localTime;
  return true;
}

}  // namespace orv
