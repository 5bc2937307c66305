#include "archive/mount_walk.h"

#include "platform/case_fold.h"
#include "platform/errors.h"
#include "services/log.h"

namespace orv::archive {

namespace {

bool IsDots(WStringView name) { return name == ORV_T(".") || name == ORV_T(".."); }

// A folder whose content the walk reports.
bool Enters(const os::FindData& entry) {
  return (entry.attributes & os::kAttrDirectory) && !(entry.attributes & os::kAttrReparsePoint) &&
         os::CompareNoCase(entry.name, ORV_T("System Volume Information")) != 0;
}

WString Joined(const WString& prefix, WStringView name) {
  return prefix.empty() ? WString(name) : prefix + ORV_T("\\") + WString(name);
}

}  // namespace

DWORD MountWalk::Start(WStringView root) {
  Clear();
  root_ = root;
  while (!root_.empty() && (root_.back() == '\\' || root_.back() == '/')) root_.pop_back();
  if (DWORD error = Enter(WString())) return error;
  return pending_ ? err::kSuccess : NextInLevels();
}

bool MountWalk::Take(os::FindData&& found, const WString& prefix) {
  if (IsDots(found.name)) return false;
  name_ = Joined(prefix, found.name);
  entry_ = std::move(found);
  pending_ = true;
  return true;
}

DWORD MountWalk::Enter(const WString& prefix) {
  auto search = std::make_unique<os::DirSearch>();
  os::FindData found;
  const WString folder = prefix.empty() ? root_ : root_ + ORV_T("\\") + prefix;
  const DWORD error = search->First(folder + ORV_T("\\*.*"), found);
  pending_ = false;
  if (error == err::kFileNotFound || error == err::kNoMoreFiles) return err::kSuccess;
  if (error) {
    // The root must be readable; a folder inside that is not is left out, not the rest.
    if (levels_.empty()) return error;
    COrvLog::GetInstance().AddError(ORV_T("Cannot search %s - %u"), folder, error);
    return err::kSuccess;
  }
  levels_.push_back({std::move(search), prefix});
  Take(std::move(found), prefix);  // "." is not taken: the level's next entry follows
  return err::kSuccess;
}

DWORD MountWalk::NextInLevels() {
  pending_ = false;
  while (!levels_.empty()) {
    Level& level = levels_.back();
    os::FindData found;
    const DWORD error = level.search->Next(found);
    if (error == err::kNoMoreFiles) {
      levels_.pop_back();
      continue;
    }
    if (error) return error;
    if (Take(std::move(found), level.prefix)) return err::kSuccess;
  }
  return err::kNoMoreItems;
}

DWORD MountWalk::Advance() {
  if (!pending_) return err::kNoMoreItems;
  if (Enters(entry_)) {
    const WString prefix = name_;
    if (DWORD error = Enter(prefix)) return error;
    if (pending_) return err::kSuccess;
  }
  return NextInLevels();
}

}  // namespace orv::archive
