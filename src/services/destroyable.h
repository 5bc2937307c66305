// How a class of the library fills the destructor entry of its table of virtual
// operations. On Linux that entry is the compiler's virtual destructor. Where the public
// header lays the table out by hand (32-bit Windows built by GCC, ORV_MS_TABLE_BY_HAND),
// the entry is OrvDeletingDestructor, which behaves as the Microsoft compiler's deleting
// destructor: it runs the destructor of the most derived class, frees the memory when
// bit 0 of the flags asks for it, and returns the object's address.
#pragma once

#include <new>

#include "vantrel/vantrel.h"

namespace orv {

template <class Base, class Class>
class COrvDestroyable : public Base {
 public:
#ifdef ORV_MS_TABLE_BY_HAND
  void* OrvDeletingDestructor(unsigned int flags) override {
    Class* object = static_cast<Class*>(this);
    object->~Class();
    if (flags & 1) ::operator delete(object);
    return object;
  }
#endif

 protected:
  // Destroys the object and frees its memory through the destructor entry, as a caller
  // that deletes the object through its interface does.
  void DestroyAndFree() {
#ifdef ORV_MS_TABLE_BY_HAND
    this->OrvDeletingDestructor(1);
#else
    delete this;
#endif
  }
};

}  // namespace orv
