// Interoperability with the wimlib command-line tools (Debian wimtools): a WIM made
// through the binding is read by wiminfo and applied by wimapply with the same content,
// and a password set in a WIM made by wimcapture leaves it readable by both.
#include <cstdlib>

#include "wim_test_support.h"

namespace orv::os {
namespace {

class WimInteropTest : public WimEngineTest {
 protected:
  void SetUp() override {
    WimEngineTest::SetUp();
    if (IsSkipped()) return;
    if (std::system("command -v wiminfo wimapply wimcapture >/dev/null 2>&1") != 0)
      GTEST_SKIP() << "wimtools (wiminfo, wimapply, wimcapture) is not installed";
  }
  // Runs a tool quietly and gives its exit status.
  int Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str());
  }
  std::string Quoted(const std::string& relative) { return "'" + Native(relative) + "'"; }
};

TEST_F(WimInteropTest, WimMadeThroughTheBindingIsReadAndAppliedByTheTools) {
  MakeTree(Native("src"));
  for (DWORD compression : {wim::kCompressXpress, wim::kCompressLzx}) {
    SCOPED_TRACE(compression);
    COrvWim wim;
    Capture(wim, ORV_T("Q:\\out.wim"), ORV_T("Q:\\src"), compression);
    EXPECT_EQ(Run("wiminfo --check " + Quoted("out.wim")), 0);
    std::filesystem::remove_all(Native("dst"));
    ASSERT_EQ(Run("wimapply " + Quoted("out.wim") + " 1 " + Quoted("dst")), 0);
    EXPECT_EQ(ReadTree(Native("dst")), ReadTree(Native("src")));
  }
}

TEST_F(WimInteropTest, PasswordInAToolMadeWimKeepsItReadable) {
  MakeTree(Native("src"));
  ASSERT_EQ(Run("wimcapture " + Quoted("src") + " " + Quoted("made.wim")), 0);
  COrvWim wim;
  ASSERT_TRUE(wim.SetPassword(ORV_T("Q:\\made.wim"), ORV_T("correct horse battery")))
      << wim.GetLastErrorCode();
  EXPECT_EQ(Run("wiminfo " + Quoted("made.wim")), 0);
  ASSERT_EQ(Run("wimapply " + Quoted("made.wim") + " 1 " + Quoted("dst")), 0);
  EXPECT_EQ(ReadTree(Native("dst")), ReadTree(Native("src")));

  Char password[17];
  password[16] = Char('#');
  ASSERT_TRUE(wim.GetPassword(ORV_T("Q:\\made.wim"), password));
  EXPECT_EQ(WString(password, 16), WString(ORV_T("correct horse ba")));
  EXPECT_EQ(password[16], Char('#')) << "16 characters, no terminator";
  // The binding still reads the file as a whole, unsplit WIM.
  EXPECT_TRUE(wim.IsFirstPart(ORV_T("Q:\\made.wim")));
}

}  // namespace
}  // namespace orv::os
