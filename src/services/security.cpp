#include "services/security.h"

#include "platform/file.h"
#include "platform/system.h"
#include "platform/volume.h"
#include "services/log.h"

namespace orv {

COrvSecurity::COrvSecurity(const Char* path) : path_(path ? path : ORV_T("")) {
  haveOriginal_ = os::GetSecurity(path_, kKept, original_) == 0;
}

BOOL COrvSecurity::Dump() {
  COrvLog::GetInstance().AddInfo(ORV_T("COrvSecurity: %s - descriptor of %u bytes"), path_,
                                 static_cast<DWORD>(original_.size()));
  return TRUE;
}

BOOL COrvSecurity::IsOnDriveWithPermanentACLs() const {
  os::VolumeInfo info;
  return os::GetVolumeInfo(path_, info) == 0 && info.fileSystem == ORV_T("NTFS");
}

BOOL COrvSecurity::CanAccess(int) const { return CanOpen(path_); }

bool COrvSecurity::CanOpen(const WString& path) {
  os::File file;
  return file.Open(path, os::kGenericRead, os::kShareRead | os::kShareWrite | os::kShareDelete,
                   os::Disposition::kOpenExisting,
                   os::kBackupSemantics | os::kOpenReparsePoint) == 0;
}

BOOL COrvSecurity::DACL_Administrators_AddAllowedAccess(DWORD mask, int) {
  const DWORD error = os::GrantAdministratorsAccess(path_, mask);
  m_Error.SetError(error);
  return error == 0;
}

void COrvSecurity::GetOriginalSecurityDescriptor(const void*& descriptor, DWORD& length) const {
  const bool have = haveOriginal_ && !original_.empty();
  descriptor = have ? original_.data() : nullptr;
  length = have ? static_cast<DWORD>(original_.size()) : 0;
}

BOOL COrvSecurity::RestoreOriginalSecurityDescriptor() {
  if (!haveOriginal_) return FALSE;
  const DWORD error = os::SetSecurity(path_, kKept, original_);
  m_Error.SetError(error);
  return error == 0;
}

}  // namespace orv
