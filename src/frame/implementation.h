// What every concrete class of the library shares on top of its interface: Dump, which
// does nothing and succeeds, the one implementation of Release, and the way operations
// of families not built yet answer.
#pragma once

#include "vantrel/vantrel.h"

namespace orv {

template <class Interface>
class COrvImplementation : public Interface {
 public:
  BOOL Dump() override { return TRUE; }
  // Runs the virtual destructor with deletion, so the memory is freed by this library.
  void Release() override { delete this; }

 protected:
  // Operations whose family is not built yet fail with "not supported" and a zero result.
  template <class Result = BOOL>
  Result NotBuilt() {
    this->m_Error.SetError(ORV_ERROR_NOT_SUPPORTED);
    return Result();
  }
};

}  // namespace orv
