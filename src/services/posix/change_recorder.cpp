// The recorder on Linux: a folder watch feeding the SQLite change database.
#include "services/change_recorder.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/volume.h"
#include "services/change_database.h"

namespace orv {

namespace {

// Changes are committed together once the oldest has waited this long or this many
// have gathered: a watcher that is killed loses at most that much, and the database
// is not rewritten for every event of a busy folder.
constexpr DWORD kBatchMilliseconds = 200;
constexpr size_t kBatchChanges = 500;
// How long one wait for events lasts before a stop request is looked at again.
constexpr DWORD kWaitMilliseconds = 100;

class Batch {
 public:
  explicit Batch(ChangeDatabase& db) : db_(db) {}

  void Add(MonitoredChange change) {
    if (changes_.empty()) started_ = os::TickCount();
    changes_.push_back(std::move(change));
  }

  bool Due() const {
    return !changes_.empty() &&
           (changes_.size() >= kBatchChanges || os::TickCount() - started_ >= kBatchMilliseconds);
  }

  DWORD Commit() {
    if (changes_.empty()) return err::kSuccess;
    if (const DWORD error = db_.Begin()) return error;
    for (const MonitoredChange& change : changes_)
      if (const DWORD error = db_.Record(change)) return error;
    if (const DWORD error = db_.Commit()) return error;
    changes_.clear();
    return err::kSuccess;
  }

 private:
  ChangeDatabase& db_;
  std::vector<MonitoredChange> changes_;
  DWORD started_ = 0;
};

// The attributes of an entry that is gone: all that is left to say is whether it was a
// folder, which is what a deletion list needs.
DWORD AttributesOfGone(bool isFolder) { return isFolder ? os::kAttrDirectory : os::kAttrNormal; }

// The change a folder event with a Windows name records, stamped with `localTime`;
// false when it records nothing (it is only reported).
bool ChangeOfEvent(const os::FolderEvent& event, os::FileTime localTime, MonitoredChange& change) {
  using Kind = os::FolderEvent::Kind;
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

// The database's files, when they lie in a watched tree: every commit would otherwise be
// recorded as a change, and that record committed in turn.
std::vector<WString> OwnFiles(WStringView databasePath) {
  WString drivePath;
  if (os::DrivePathOfFolder(databasePath, drivePath) != 0) return {};
  return {drivePath, drivePath + ORV_T("-journal")};
}

void Take(const std::vector<os::FolderEvent>& events, const std::vector<WString>& ownFiles, Batch& batch,
          ChangeRecorderReport& report) {
  const os::FileTime now = os::FileTimeToLocal(os::CurrentFileTime());
  for (const os::FolderEvent& event : events) {
    if (std::find(ownFiles.begin(), ownFiles.end(), event.path) != ownFiles.end()) continue;
    if (event.error == err::kInvalidName) {
      report.Unrecorded(event.path, event.error);
      continue;
    }
    if (event.kind == os::FolderEvent::Kind::kRootGone) report.RootGone(event.path);
    if (event.kind == os::FolderEvent::Kind::kLost) report.Missed(event.path, event.error);
    MonitoredChange change;
    if (ChangeOfEvent(event, now, change)) batch.Add(std::move(change));
  }
}

}  // namespace

DWORD RecordChanges(const std::vector<WatchedTree>& trees, WStringView databasePath,
                    ChangeRecorderReport& report) {
  std::unique_ptr<ChangeDatabase> db;
  if (const DWORD error = ChangeDatabase::Open(os::ToUtf8(databasePath), ChangeDatabase::Mode::kWrite, db))
    return error;
  std::unique_ptr<os::FolderWatch> watch;
  if (const DWORD error = os::CreateFolderWatch(watch)) return error;
  Batch batch(*db);
  const std::vector<WString> ownFiles = OwnFiles(databasePath);
  std::vector<os::FolderEvent> events;
  for (const WatchedTree& tree : trees)
    if (const DWORD error = watch->Add(tree.folder, tree.drivePath, events)) return error;
  Take(events, ownFiles, batch, report);
  report.Ready(watch->Mechanism());
  while (!report.StopRequested()) {
    events.clear();
    if (const DWORD error = watch->Wait(kWaitMilliseconds, events)) {
      batch.Commit();
      return error;
    }
    Take(events, ownFiles, batch, report);
    if (batch.Due())
      if (const DWORD error = batch.Commit()) return error;
  }
  // What happened before the stop and is still queued is taken too.
  DWORD waited;
  do {
    events.clear();
    waited = watch->Wait(0, events);
    Take(events, ownFiles, batch, report);
  } while (waited == 0 && !events.empty());
  const DWORD committed = batch.Commit();
  return committed ? committed : waited;
}

}  // namespace orv
