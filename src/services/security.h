// COrvSecurity: keeps the security descriptor of one file or folder so that access can
// be repaired for a piece of work and the original put back afterwards.
//
//   COrvSecurity keeper(path);
//   if (keeper.IsOnDriveWithPermanentACLs() && !keeper.CanAccess(1))
//     keeper.DACL_Administrators_AddAllowedAccess(0x1F0000, 1);
//   ... work ...
//   keeper.RestoreOriginalSecurityDescriptor();
#pragma once

#include <cstdint>
#include <vector>

#include "platform/text.h"
#include "services/destroyable.h"
#include "vantrel/vantrel.h"

namespace orv {

class COrvSecurity final : public COrvDestroyable<COrvObject, COrvSecurity> {
 public:
  explicit COrvSecurity(const Char* path);
  ~COrvSecurity() = default;

  BOOL Dump() override;
  // Nonzero when the volume keeps access control lists (NTFS).
  BOOL IsOnDriveWithPermanentACLs() const;
  // Nonzero when the process may open the object.
  BOOL CanAccess(int forReading) const;
  // The same test without a keeper, which reads the descriptor when it is made: for
  // walks that test every entry and repair only the few that fail.
  static bool CanOpen(const WString& path);
  BOOL DACL_Administrators_AddAllowedAccess(DWORD mask, int);
  // The descriptor remembered at construction; the keeper owns it. Null and 0 when the
  // object had none that could be read.
  void GetOriginalSecurityDescriptor(const void*& descriptor, DWORD& length) const;
  BOOL RestoreOriginalSecurityDescriptor();

 private:
  static constexpr DWORD kKept = 1 | 2 | 4;  // owner, group and access list

  WString path_;
  std::vector<uint8_t> original_;
  bool haveOriginal_ = false;
};

}  // namespace orv
