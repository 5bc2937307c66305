// The native path of a library path, for the Linux tests that call the system directly.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/native_name.h"

namespace orv::test {

inline std::string Native(const WString& path) {
  std::string native;
  EXPECT_EQ(os::NativeNameOf(path, native), 0u);
  return native;
}

}  // namespace orv::test
