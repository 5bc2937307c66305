// What every concrete class of the library shares on top of its interface: Dump, which
// does nothing and succeeds, the one implementation of Release, and the way operations
// of families not built yet answer.
#pragma once

#include <new>

#include "platform/errors.h"
#include "vantrel/vantrel.h"

namespace orv {

template <class Interface>
class COrvImplementation : public Interface {
 public:
  BOOL Dump() override { return TRUE; }
  // Runs the virtual destructor with deletion, so the memory is freed by this library.
  void Release() override { delete this; }

 protected:
  // Runs the body of an exported operation: no exception leaves the library. Running
  // out of memory fails with 8, any other exception with 1359.
  template <class Body>
  BOOL Guarded(Body body) noexcept {
    try {
      return body();
    } catch (const std::bad_alloc&) {
      this->m_Error.SetError(err::kNotEnoughMemory);
    } catch (...) {
      this->m_Error.SetError(err::kInternalError);
    }
    return FALSE;
  }

  // Operations whose family is not built yet fail with "not supported" and a zero result.
  template <class Result = BOOL>
  Result NotBuilt() {
    this->m_Error.SetError(ORV_ERROR_NOT_SUPPORTED);
    return Result();
  }
};

}  // namespace orv
