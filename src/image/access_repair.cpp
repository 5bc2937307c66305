#include "image/access_repair.h"

#include "fsutil/delete_tree.h"
#include "platform/dir_search.h"
#include "services/log.h"

namespace orv {

namespace {

// Full standard rights for the Administrators, granted where an entry cannot be read.
constexpr DWORD kAdministratorsAccess = 0x1F0000;

}  // namespace

void AccessRepair::Take(const WString& path, bool directory, bool reparse, bool volumeKeepsAcls,
                        WStringView logLine) {
  if (reparse || !volumeKeepsAcls) return;
  auto keeper = std::make_unique<COrvSecurity>(path.c_str());
  if (keeper->CanAccess(1)) return;
  COrvLog::GetInstance().AddInfo(logLine, path);
  if (directory) RememberChildren(path);
  COrvError error;
  TakeOwnershipAndChildren(path.c_str(), error);
  keeper->DACL_Administrators_AddAllowedAccess(kAdministratorsAccess, 1);
  entry_ = std::move(keeper);
}

void AccessRepair::GiveBack() {
  if (entry_) entry_->RestoreOriginalSecurityDescriptor();
  for (auto& child : children_) child->RestoreOriginalSecurityDescriptor();
  entry_.reset();
  children_.clear();
}

void AccessRepair::RememberChildren(const WString& folder) {
  os::DirSearch search;
  os::FindData data;
  for (DWORD error = search.First(folder + ORV_T("\\*.*"), data); error == 0;
       error = search.Next(data)) {
    if (data.name == ORV_T(".") || data.name == ORV_T("..")) continue;
    children_.push_back(std::make_unique<COrvSecurity>((folder + ORV_T("\\") + data.name).c_str()));
  }
}

}  // namespace orv
