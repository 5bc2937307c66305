// Image folders holding WIM files made by the peers' own tool (wimlib-imagex): a WIM in
// two parts restores whichever part the folder lists first, and a cancel answered to
// the engine's progress stops the apply with the cancel code.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "image/image.h"
#include "native_path.h"
#include "support/temp_folder.h"
#include "wim_test_support.h"

namespace orv::test {
namespace {

bool RunTool(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

int g_progress = 0;
BOOL ORV_CALLBACK CancelAtFirstProgress(ORVVALUE message, ORVVALUE, ORVVALUE, ORVVALUE) {
  if (message == 104 && ++g_progress > 1) return FALSE;  // the first 104 is the start
  return TRUE;
}

TEST(RestoreOfWimFolders, PartsInEitherOrderAndCancel) {
  TempFolder folder;
  const std::string source = Native(folder / ORV_T("source"));
  os::MakeTree(source);
  os::WriteNative(source + "/big1.bin", os::Noise(3 << 19, 1));
  os::WriteNative(source + "/big2.bin", os::Noise(3 << 19, 2));
  const WString image = folder / ORV_T("image");
  ASSERT_EQ(os::CreateDirectory(image), 0u);
  const std::string whole = Native(folder / ORV_T("whole.wim"));
  ASSERT_TRUE(RunTool("wimlib-imagex capture '" + source + "' '" + whole + "' --compress=none"));
  // Parts of at most 1 MiB: base.swm, base2.swm, ... renamed so that part 2 sorts first.
  ASSERT_TRUE(RunTool("wimlib-imagex split '" + whole + "' '" + Native(image) + "/part.swm' 1"));
  const std::filesystem::path dir(Native(image));
  std::filesystem::rename(dir / "part.swm", dir / "B-first-part.WIM");
  std::filesystem::rename(dir / "part2.swm", dir / "A-second-part.WIM");
  for (int i = 3; std::filesystem::exists(dir / ("part" + std::to_string(i) + ".swm")); ++i)
    std::filesystem::rename(dir / ("part" + std::to_string(i) + ".swm"),
                            dir / ("C-part" + std::to_string(i) + ".WIM"));

  COrvImage restorer;
  const WString target = folder / ORV_T("target");
  ASSERT_TRUE(restorer.RestoreImage(image.c_str(), target.c_str(), nullptr))
      << restorer.GetLastErrorCode();
  EXPECT_EQ(os::ReadTree(Native(target)), os::ReadTree(source));

  // Extraction reports percentages; refusing one cancels the apply.
  const WString cancelled = folder / ORV_T("cancelled");
  EXPECT_FALSE(restorer.Extract((folder / ORV_T("whole.wim")).c_str(), cancelled.c_str(),
                                CancelAtFirstProgress));
  EXPECT_EQ(restorer.GetLastErrorCode(), ORV_ERROR_CANCELLED);
}

}  // namespace
}  // namespace orv::test
