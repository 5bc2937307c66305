// A fresh folder for one test, removed with its content afterwards.
#pragma once

#include "platform/text.h"

namespace orv::test {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder in the library's path form, without trailing separator.
  const WString& Path() const { return path_; }
  // Path() + "\" + relative.
  WString operator/(WStringView relative) const;

 private:
  WString path_;
};

// Writes `content` to a new file (replacing any), or fails the test.
void WriteFile(WStringView path, std::string_view content);
std::string ReadFile(WStringView path);

}  // namespace orv::test
