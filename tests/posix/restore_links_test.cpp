// Restores onto targets that hold links planted to reach outside them: deletions named
// through a link and files written where a link stands never touch what it points at.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/archive_support.h"
#include "image/image.h"
#include "native_path.h"
#include "support/temp_folder.h"

namespace orv::test {
namespace {

TEST(RestoreOntoLinks, DeletionsAndFilesStopAtLinks) {
  TempFolder folder;
  const WString outside = folder / ORV_T("outside");
  const WString source = folder / ORV_T("source");
  const WString image = folder / ORV_T("image");
  const WString target = folder / ORV_T("target");
  for (const WString& made : {outside, source, image, target})
    ASSERT_EQ(os::CreateDirectory(made), 0u);
  WriteFile(outside + ORV_T("/victim.txt"), "precious");
  WriteFile(outside + ORV_T("/written.txt"), "precious");
  WriteFile(source + ORV_T("/written.txt"), "from the image");
  ASSERT_EQ(os::CreateDirectory(source + ORV_T("/dir")), 0u);
  WriteFile(source + ORV_T("/dir/inner.txt"), "inner");

  COrvMorlet archive;
  ASSERT_TRUE(archive.Open((image + ORV_T("/BASE.INP")).c_str(), 0, 5));
  for (const Char* name : {ORV_T("written.txt"), ORV_T("dir"), ORV_T("dir\\inner.txt")})
    ASSERT_TRUE(archive.AddFile((source + ORV_T("/") + WString(name)).c_str(), name, nullptr, 0, nullptr));
  ASSERT_TRUE(archive.Close());
  WriteFile(image + ORV_T("/BASE.XML"), "<?xml version=\"1.0\"?>\n<image Size=\"19\"><file>BASE.INP</file></image>\n");
  WriteFile(image + ORV_T("/DEL.XML"),
            "<?xml version=\"1.0\"?>\n<deleted><file>\\through\\victim.txt</file>"
            "<file>\\through</file></deleted>\n");

  // In the target: a folder link out, a file link where the image writes a file, and a
  // folder link where the image has a folder.
  ASSERT_EQ(symlink(Native(outside).c_str(), Native(target + ORV_T("/through")).c_str()), 0);
  ASSERT_EQ(symlink(Native(outside + ORV_T("/written.txt")).c_str(),
                    Native(target + ORV_T("/written.txt")).c_str()), 0);
  ASSERT_EQ(symlink(Native(outside).c_str(), Native(target + ORV_T("/dir")).c_str()), 0);

  // The folder link where the image has a folder fails that entry (and so the restore,
  // whose deletions then wait); nothing reaches outside.
  COrvImage restorer;
  EXPECT_FALSE(restorer.RestoreImage(image.c_str(), target.c_str(), nullptr));
  EXPECT_EQ(restorer.GetLastErrorCode(), 123u);
  EXPECT_EQ(ReadFile(outside + ORV_T("/written.txt")), "precious");
  EXPECT_FALSE(Exists(outside + ORV_T("/inner.txt")));
  // The file link was replaced by the file.
  EXPECT_EQ(ReadFile(target + ORV_T("/written.txt")), "from the image");

  // Without the folder link the restore succeeds and its deletions run: the one through
  // a link deletes nothing, the link named plainly goes as a link.
  ASSERT_EQ(unlink(Native(target + ORV_T("/dir")).c_str()), 0);
  EXPECT_TRUE(restorer.RestoreImage(image.c_str(), target.c_str(), nullptr)) << restorer.GetLastErrorCode();
  EXPECT_EQ(ReadFile(outside + ORV_T("/victim.txt")), "precious");
  struct stat info {};
  EXPECT_NE(lstat(Native(target + ORV_T("/through")).c_str(), &info), 0);
  EXPECT_EQ(ReadFile(target + ORV_T("/dir/inner.txt")), "inner");
}

}  // namespace
}  // namespace orv::test
