// Extraction inside the preinstallation environment, which marks itself with a registry
// key: an encrypted file cannot be imported there, so its raw stream waits in
// "System Recovery\ENC" on the user partition, under the temporary name the caller was
// given, for Windows to import it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "archive/morlet.h"
#include "platform/encoding.h"
#include "platform/file.h"
#include "platform/process.h"
#include "support/temp_folder.h"

namespace orv::test {
namespace {

// Sets an environment variable for the length of a test.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    if (const char* previous = std::getenv(name)) previous_ = previous;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() {
    if (previous_)
      setenv(name_, previous_->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> previous_;
};

std::string Native(const WString& path) {
  std::string native = os::ToUtf8(path);
  for (char& c : native)
    if (c == '\\') c = '/';
  return native;
}

TEST(Preinstallation, EncryptedFilesWaitAsRawStreamsOnTheUserPartition) {
  TempFolder temp;
  WriteFile(temp / ORV_T("registry"), "SYSTEM\\CurrentControlSet\\Control\\MiniNT\\Present=1\n");
  ASSERT_EQ(os::CreateDirectoryTree(temp / ORV_T("userpart")), 0u);
  const ScopedVariable registry("VANTREL_REGISTRY", Native(temp / ORV_T("registry")));
  const ScopedVariable userPartition("USERPART", Native(temp / ORV_T("userpart")));

  WriteFile(temp / ORV_T("secret.raw"), "raw encrypted stream");
  ORVFILEATTRIBUTEDATA block{};
  block.dwFileAttributes = os::kAttrArchive | os::kAttrEncrypted;
  block.nFileSizeLow = 20;
  const WString path = temp / ORV_T("e.inp");
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, 5));
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("secret.raw")).c_str(), ORV_T("dir\\secret"), nullptr, 0, &block));
  ASSERT_TRUE(archive.Close());

  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  ASSERT_TRUE(archive.NextEntry(0));
  Char tempName[300];
  ASSERT_TRUE(archive.GetEntryTempName(tempName, 300));
  const WString out = temp / ORV_T("out");
  EXPECT_TRUE(archive.ExtractCurrent(out.c_str(), 1)) << archive.GetLastErrorCode();
  // The name the caller records for the later import stays the staging file's.
  Char after[300];
  ASSERT_TRUE(archive.GetEntryTempName(after, 300));
  EXPECT_EQ(WString(after), WString(tempName));
  archive.Close();
  EXPECT_EQ(ReadFile(temp / (WString(ORV_T("userpart\\System Recovery\\ENC\\")) + tempName)),
            "raw encrypted stream");
  DWORD attributes;
  EXPECT_NE(os::GetAttributes(out + ORV_T("\\dir\\secret"), attributes), 0u);
}

}  // namespace
}  // namespace orv::test
