// A fresh folder mapped to drive Q: for one test, and native views of it.
#pragma once

#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <string>
#include <vector>

#include "platform/encoding.h"
#include "platform/volume.h"
#include "support/temp_folder.h"

namespace orv::os {

class MappedDrive : public ::testing::Test {
 protected:
  void SetUp() override {
    WString folder = temp_.Path();
    for (Char& c : folder)
      if (c == '\\') c = '/';
    native_ = ToUtf8(folder);
    ASSERT_EQ(SetDriveFolder('Q', folder), 0u);
  }
  void TearDown() override { SetDriveFolder('Q', ORV_T("")); }

  // The native path of something in the folder.
  std::string Native(const std::string& relative = "") const {
    return relative.empty() ? native_ : native_ + "/" + relative;
  }

  // The raw value of an extended attribute, or "<absent>".
  std::string Xattr(const std::string& relative, const char* name) const {
    std::vector<char> value(65536);
    const ssize_t size = lgetxattr(Native(relative).c_str(), name, value.data(), value.size());
    return size < 0 ? "<absent>" : std::string(value.data(), static_cast<size_t>(size));
  }

  test::TempFolder temp_;
  std::string native_;
};

}  // namespace orv::os
