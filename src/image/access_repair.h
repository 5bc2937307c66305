// The access an entry is given so that a capture can read it, and the return of what
// the entry and its direct children had before.
#pragma once

#include <memory>
#include <vector>

#include "platform/text.h"
#include "services/security.h"

namespace orv {

class AccessRepair {
 public:
  // Takes ownership of an entry the process cannot read and grants the Administrators
  // full rights; `logLine` ("... %s") names the entry in the log. Nothing happens where
  // the volume keeps no access lists (a property of the volume, asked once per
  // capture), for reparse points, and for entries that can be read.
  void Take(const WString& path, bool directory, bool reparse, bool volumeKeepsAcls,
            WStringView logLine);

  bool Taken() const { return entry_ != nullptr; }

  // Puts back what every changed entry had.
  void GiveBack();

 private:
  void RememberChildren(const WString& folder);

  std::unique_ptr<COrvSecurity> entry_;
  std::vector<std::unique_ptr<COrvSecurity>> children_;
};

}  // namespace orv
