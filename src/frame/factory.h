// How a factory makes its object: the ordinary allocator, and null instead of an
// exception when the memory or the constructor fails.
#pragma once

#include <new>

namespace orv {

template <class Class>
Class* CreateObject() noexcept {
  try {
    // A constructor that throws frees the memory before the exception arrives here.
    return new (std::nothrow) Class();
  } catch (...) {
    return nullptr;
  }
}

}  // namespace orv
