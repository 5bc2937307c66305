// An entry of a folder that cannot be read loses neither its folder nor the walk: it is
// listed as unreadable, the rest is given, and `inp create` says so in its exit status.
// The unreadable entry here is one whose whole path passes the system's path limit,
// so that reading its extended attributes by path fails.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "../tools/command_run.h"
#include "platform/dir_search.h"
#include "platform/encoding.h"
#include "platform/errors.h"

namespace orv::test {
namespace {

// Folders of long names below `temp` until the path is near 3,900 bytes; in the
// deepest, a file "a" and a file whose name carries the path past 4,096 bytes.
class DeepFolder {
 public:
  explicit DeepFolder(const TempFolder& temp) : path_(temp.Path()) {
    std::string native = os::ToUtf8(temp.Path());
    for (char& c : native)
      if (c == '\\') c = '/';
    fd_ = open(native.c_str(), O_RDONLY | O_DIRECTORY);
    const std::string step(240, 'd');
    while (native.size() + step.size() + 1 < 3900) {
      mkdirat(fd_, step.c_str(), 0777);
      const int next = openat(fd_, step.c_str(), O_RDONLY | O_DIRECTORY);
      close(fd_);
      fd_ = next;
      native += "/" + step;
      path_ += ORV_T("\\") + os::FromUtf8(step);
      ++depth_;
    }
    for (const std::string& name : {std::string("a"), LongName()})
      close(openat(fd_, name.c_str(), O_CREAT | O_WRONLY, 0666));
  }
  ~DeepFolder() {
    // The test folder's own cleanup cannot reach past the path limit.
    unlinkat(fd_, LongName().c_str(), 0);
    close(fd_);
  }
  const WString& Path() const { return path_; }
  static std::string LongName() { return std::string(250, 'x'); }

 private:
  WString path_;
  int fd_ = -1;
  int depth_ = 0;
};

TEST(UnreadableEntries, AreListedWhileTheRestOfTheFolderIsWalked) {
  TempFolder temp;
  const DeepFolder deep(temp);
  os::DirSearch search;
  os::FindData data;
  std::vector<WString> names;
  for (DWORD error = search.First(deep.Path() + ORV_T("\\*.*"), data); error == 0;
       error = search.Next(data))
    names.push_back(data.name);
  EXPECT_EQ(names, (std::vector<WString>{ORV_T("."), ORV_T(".."), ORV_T("a")}));
  ASSERT_EQ(search.Unreadable().size(), 1u);
  EXPECT_EQ(search.Unreadable()[0].name, os::FromUtf8(DeepFolder::LongName()));
  EXPECT_NE(search.Unreadable()[0].error, 0u);

  const std::string archive = os::ToUtf8(temp / ORV_T("deep.inp"));
  const auto run = vantrel_cli::RunCommand(temp, {vantrel_cli::AddInpCommands},
                                           {"inp", "create", archive, "--version", "5",
                                            os::ToUtf8(deep.Path())});
  EXPECT_NE(run.exitCode, 0);
}

}  // namespace
}  // namespace orv::test
