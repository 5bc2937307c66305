#include "recovery/change_list.h"

#include <vector>

#include "platform/dir_search.h"
#include "platform/file.h"
#include "recovery/system_drive_path.h"
#include "services/log.h"

namespace orv {

namespace {

bool IsFolder(DWORD attributes) { return (attributes & os::kAttrDirectory) != 0; }

void TakeChange(WStringView systemDrive, const WString& relative, const MonitoredChange& change,
                ChangeList& list) {
  const COrvString key(relative.c_str());
  if (list.deleted.erase(key) != 0) --list.entries;
  if (list.changed.emplace(key, ChangedPath{change.attributes, change.kind}).second) ++list.entries;
  if (change.kind == kChangeCreated && IsFolder(change.attributes))
    AddFolderContent(systemDrive, relative, list.changed, list.entries);
}

void TakeDeletion(WStringView systemDrive, const WString& relative, const MonitoredChange& change,
                  ChangeList& list) {
  // A path deleted and made again since is a change, which a later row reports.
  os::FileInfo info;
  if (os::GetInfo(WString(systemDrive) + relative, info) == 0) return;
  const COrvString key(relative.c_str());
  if (list.deleted.emplace(key, ChangedPath{change.attributes, change.kind}).second) {
    ++list.entries;
  } else if (list.changed.erase(key) != 0) {
    --list.entries;
  }
}

}  // namespace

DWORD ReadChangeList(IOrvFilesMonitoring& monitor, os::FileTime since, WStringView systemDrive,
                     ORVDCALLBACK callback, ChangeList& list) {
  COrvLog& log = COrvLog::GetInstance();
  MonitoredChange change;
  for (DWORD more = monitor.FirstChangeAfter(since, change); more == 0;
       more = monitor.NextChange(change)) {
    const std::optional<WString> relative = PathOnSystemDrive(change.path, systemDrive);
    if (!relative) {
      log.AddError(ORV_T("%s is not a path on the system drive %s - refused"), change.path,
                   WString(systemDrive));
      continue;
    }
    if (callback) {
      if (!callback(ORV_MSG_CANCEL_POLL, 0, 0, 0)) return ORV_ERROR_CANCELLED;
      if (!callback(ORV_MSG_FILE, 0, 0, reinterpret_cast<ORVVALUE>(change.path.c_str()))) continue;
    }
    if (change.kind == kChangeDeleted)
      TakeDeletion(systemDrive, *relative, change, list);
    else
      TakeChange(systemDrive, *relative, change, list);
  }
  return 0;
}

void AddFolderContent(WStringView systemDrive, const WString& relative, ChangedPaths& changed,
                      int64_t& entries) {
  std::vector<WString> pending{relative};
  while (!pending.empty()) {
    const WString folder = pending.back();
    pending.pop_back();
    os::DirSearch search;
    os::FindData data;
    for (DWORD found = search.First(WString(systemDrive) + folder + ORV_T("\\*.*"), data);
         found == 0; found = search.Next(data)) {
      if (data.name == ORV_T(".") || data.name == ORV_T("..")) continue;
      const WString below = folder + ORV_T("\\") + data.name;
      if (changed.emplace(COrvString(below.c_str()), ChangedPath{data.attributes, kChangeModified})
              .second)
        ++entries;
      if (IsFolder(data.attributes) && !(data.attributes & os::kAttrReparsePoint))
        pending.push_back(below);
    }
  }
}

}  // namespace orv
