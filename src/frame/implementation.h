// What every concrete class of the library shares on top of its interface: Dump, which
// does nothing and succeeds, the one implementation of Release, the destructor entry,
// and the way operations of families not built yet answer.
#pragma once

#include <new>

#include "platform/errors.h"
#include "services/destroyable.h"
#include "vantrel/vantrel.h"

namespace orv {

// Class is the concrete class itself, so that the destructor entry reaches its
// destructor.
template <class Interface, class Class>
class COrvImplementation : public COrvDestroyable<Interface, Class> {
 public:
  BOOL Dump() override { return TRUE; }
  // Runs the destructor entry with deletion, so the memory is freed by this library.
  void Release() override { this->DestroyAndFree(); }

 protected:
  // Runs the body of an exported operation: no exception leaves the library. Running
  // out of memory fails with 8, any other exception with 1359.
  template <class Body>
  BOOL Guarded(Body body) noexcept {
    return GuardedOr<BOOL>(FALSE, body);
  }
  // The same for an operation whose failure is another value.
  template <class Result, class Body>
  Result GuardedOr(Result failure, Body body) noexcept {
    try {
      return body();
    } catch (const std::bad_alloc&) {
      this->m_Error.SetError(err::kNotEnoughMemory);
    } catch (...) {
      this->m_Error.SetError(err::kInternalError);
    }
    return failure;
  }

  // Operations whose family is not built yet fail with "not supported" and a zero result.
  template <class Result = BOOL>
  Result NotBuilt() {
    this->m_Error.SetError(ORV_ERROR_NOT_SUPPORTED);
    return Result();
  }
};

// Implements an operation that returns a record, in the form in which the interface
// declares it (ORV_RECORD_OPERATION in vantrel.h), from an expression that gives the
// record.
#ifdef ORV_MS_TABLE_BY_HAND
#define ORV_RECORD_IMPLEMENTATION(Interface, Record, Name, value) \
  using Interface::Name;                                          \
  Record* Name(Record* pResult) override {                        \
    *pResult = (value);                                           \
    return pResult;                                               \
  }
#else
#define ORV_RECORD_IMPLEMENTATION(Interface, Record, Name, value) \
  Record Name() override { return (value); }
#endif

}  // namespace orv
