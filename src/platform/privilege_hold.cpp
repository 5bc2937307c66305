#include "platform/system.h"

namespace orv::os {

PrivilegeHold::PrivilegeHold(WStringView name) : name_(name) {
  error_ = SetPrivilege(name_, true, &changed_);
}

PrivilegeHold::~PrivilegeHold() {
  if (error_ == 0 && changed_) SetPrivilege(name_, false);
}

}  // namespace orv::os
