#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <atomic>

#include "platform/dir_search.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/process.h"
#include "services/format.h"

namespace orv::test {

namespace {

std::atomic<unsigned> g_counter{0};

// Removes a folder and everything below it; links are removed, never followed.
void RemoveTree(const WString& folder) {
  std::vector<WString> subfolders;
  {
    os::DirSearch search;
    os::FindData data;
    for (DWORD error = search.First(folder + ORV_T("\\*.*"), data); error == 0;
         error = search.Next(data)) {
      if (data.name == ORV_T(".") || data.name == ORV_T("..")) continue;
      const WString path = folder + ORV_T("\\") + data.name;
      os::SetAttributes(path, data.attributes & os::kAttrDirectory);
      const bool link = (data.attributes & os::kAttrReparsePoint) != 0;
      if ((data.attributes & os::kAttrDirectory) && !link)
        subfolders.push_back(path);
      else if (data.attributes & os::kAttrDirectory)
        os::RemoveDirectory(path);
      else
        os::DeleteFile(path);
    }
  }
  for (const WString& sub : subfolders) RemoveTree(sub);
  os::RemoveDirectory(folder);
}

}  // namespace

TempFolder::TempFolder() {
  WString base = os::GetTempFolder();
  while (!base.empty() && (base.back() == '\\' || base.back() == '/')) base.pop_back();
  // A folder of the same name left by an earlier process (its number reused) that cannot
  // be removed whole, such as one holding a Linux name with a backslash, is passed over.
  DWORD error = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    path_ = base + Format(ORV_T("\\vantrel-test-%u-%u"), os::CurrentProcessId(), g_counter++);
    RemoveTree(path_);
    error = os::CreateDirectory(path_);
    if (error != err::kAlreadyExists) break;
  }
  if (error != 0) ADD_FAILURE() << "cannot create the test folder: error " << error;
}

TempFolder::~TempFolder() { RemoveTree(path_); }

WString TempFolder::operator/(WStringView relative) const {
  return path_ + ORV_T("\\") + WString(relative);
}

void WriteFile(WStringView path, std::string_view content) {
  os::File file;
  ASSERT_EQ(file.Open(path, os::kGenericWrite, 0, os::Disposition::kCreateAlways), 0u);
  DWORD done = 0;
  ASSERT_EQ(file.Write(content.data(), static_cast<DWORD>(content.size()), done), 0u);
  ASSERT_EQ(done, content.size());
}

std::string ReadFile(WStringView path) {
  os::File file;
  if (file.Open(path, os::kGenericRead, os::kShareRead | os::kShareWrite,
                os::Disposition::kOpenExisting) != 0)
    return "<missing>";
  std::string content;
  char buffer[4096];
  DWORD done = 0;
  while (file.Read(buffer, sizeof buffer, done) == 0 && done > 0) content.append(buffer, done);
  return content;
}

}  // namespace orv::test
