// Folders captured into WIM files by the image object through the engine: the tree comes
// back whole in the compression asked for, a split leaves parts and no whole file, links
// planted where the capture writes are never written through, and the mounted WIM of a
// file-by-file capture commits what was copied into it without its placeholder; a failed
// mount leaves nothing mounted.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "image/image.h"
#include "platform/file.h"
#include "wim_test_support.h"

namespace orv::os {
namespace {

class WimFileEngine : public WimEngineTest {
 protected:
  void SetUp() override {
    WimEngineTest::SetUp();
    if (IsSkipped()) return;
    MakeTree(Native("src"));
    WriteNative(Native("outside/victim.txt"), "must stay as it is");
  }

  DWORD CompressionOf(const WString& file) {
    COrvWim wim;
    EXPECT_NE(wim.WIMCreateFile(file.c_str(), wim::kGenericRead, wim::kOpenExisting, 0, 0, nullptr),
              nullptr);
    wim::WimInfo info{};
    EXPECT_TRUE(wim.WIMGetAttributes(nullptr, &info, sizeof info));
    return info.compressionType;
  }

  std::string Victim() { return ReadTree(Native("outside"))["victim.txt"]; }

  // What keeps a folder that should be gone: its entries and any mount on it.
  static std::string WhatHolds(const std::string& folder) {
    std::string found;
    std::error_code status;
    for (const auto& entry : std::filesystem::directory_iterator(folder, status))
      found += " entry " + entry.path().filename().string();
    std::ifstream mounts("/proc/self/mountinfo");
    for (std::string line; std::getline(mounts, line);)
      if (line.find(std::filesystem::path(folder).filename().string()) != std::string::npos)
        found += " mount " + line;
    return found.empty() ? " nothing seen" : found;
  }

  COrvImage image_;
};

TEST_F(WimFileEngine, FolderComesBackWholeInTheCompressionAsked) {
  ASSERT_TRUE(image_.CreateWIM(ORV_T("Q:\\src"), ORV_T("Q:\\x.wim"), wim::kCompressXpress, 0, FALSE,
                               nullptr))
      << image_.GetLastErrorCode();
  EXPECT_EQ(CompressionOf(ORV_T("Q:\\x.wim")), wim::kCompressXpress);
  COrvWim wim;
  ASSERT_TRUE(Apply(wim, ORV_T("Q:\\x.wim"), ORV_T("Q:\\out")));
  EXPECT_EQ(ReadTree(Native("out")), ReadTree(Native("src")));
  // A type the engine does not know is taken as LZX.
  ASSERT_TRUE(image_.CreateWIM(ORV_T("Q:\\src"), ORV_T("Q:\\y.wim"), 7, 0, FALSE, nullptr));
  EXPECT_EQ(CompressionOf(ORV_T("Q:\\y.wim")), wim::kCompressLzx);
}

TEST_F(WimFileEngine, SplitLeavesPartsAndNoWholeFile) {
  WriteNative(Native("src/big1.bin"), Noise(1500000, 1));
  WriteNative(Native("src/big2.bin"), Noise(1500000, 2));
  ASSERT_TRUE(image_.CreateWIM(ORV_T("Q:\\src"), ORV_T("Q:\\set.wim"), wim::kCompressLzx, 1, FALSE,
                               nullptr))
      << image_.GetLastErrorCode();
  EXPECT_TRUE(std::filesystem::exists(Native("set2.wim")));
  EXPECT_FALSE(std::filesystem::exists(Native("set_O.WIM")));
  COrvWim wim;
  std::vector<WString> parts;
  for (int part = 2; std::filesystem::exists(Native("set" + std::to_string(part) + ".wim")); ++part)
    parts.push_back(ORV_T("Q:\\set") + FromUtf8(std::to_string(part)) + ORV_T(".wim"));
  ASSERT_TRUE(Apply(wim, ORV_T("Q:\\set.wim"), ORV_T("Q:\\out"), 0, nullptr, parts));
  EXPECT_EQ(ReadTree(Native("out")), ReadTree(Native("src")));
}

BOOL ORV_CALLBACK CancelAtFirstPoll(ORVVALUE message, ORVVALUE, ORVVALUE, ORVVALUE) {
  return message != ORV_MSG_CANCEL_POLL;
}

TEST_F(WimFileEngine, CancelEndsTheCaptureAsCancelled) {
  EXPECT_FALSE(image_.CreateWIM(ORV_T("Q:\\src"), ORV_T("Q:\\x.wim"), wim::kCompressLzx, 0, FALSE,
                                CancelAtFirstPoll));
  EXPECT_EQ(image_.GetLastErrorCode(), ORV_ERROR_CANCELLED);
}

TEST(WimFilter, InstalledWhereTheEngineCanMount) {
  COrvImage image;
  EXPECT_EQ(image.IsWimFilterInstalled() != FALSE, std::filesystem::exists("/dev/fuse"));
}

TEST_F(WimFileEngine, LinkPlantedAtTheTargetIsNotWrittenThrough) {
  ASSERT_EQ(symlink(Native("outside/victim.txt").c_str(), Native("x.wim").c_str()), 0);
  ASSERT_TRUE(image_.CreateWIM(ORV_T("Q:\\src"), ORV_T("Q:\\x.wim"), wim::kCompressLzx, 0, FALSE,
                               nullptr))
      << image_.GetLastErrorCode();
  EXPECT_EQ(Victim(), "must stay as it is");
  EXPECT_FALSE(std::filesystem::is_symlink(Native("x.wim")));
}

TEST_F(WimFileEngine, CountSkipsLinks) {
  image_.CreateImageFile(ORV_T("Q:\\src"), ORV_T("Q:\\x.inp"), 2, 0, 0, FALSE, nullptr);
  const uint64_t plain = image_.CountFolderSize(ORV_T("Q:\\src"));
  EXPECT_EQ(plain, 11u + 200000u + 5000u + 12u);
  ASSERT_EQ(symlink(Native("outside/victim.txt").c_str(), Native("src/file_link").c_str()), 0);
  ASSERT_EQ(symlink(Native("outside").c_str(), Native("src/folder_link").c_str()), 0);
  EXPECT_EQ(image_.CountFolderSize(ORV_T("Q:\\src")), plain);
}

// The placeholder is written as a new file even where a link was planted at its path;
// the new WIM holds it alone. The mount itself needs FUSE.
TEST_F(WimFileEngine, MountedCaptureCommitsWithoutItsPlaceholder) {
  std::filesystem::create_directories(Native("vol/System Recovery/TMP_MOUNT"));
  ASSERT_EQ(symlink(Native("outside/victim.txt").c_str(),
                    Native("vol/System Recovery/TMP_MOUNT/QUEN.DAV").c_str()),
            0);
  image_.Capture().volumeRoot = ORV_T("Q:\\vol\\");
  WString mount;
  const BOOL mounted = image_.MountImageWIM(mount, ORV_T("Q:\\m.wim"));
  EXPECT_EQ(Victim(), "must stay as it is");
  {
    COrvWim wim;
    ASSERT_TRUE(Apply(wim, ORV_T("Q:\\m.wim"), ORV_T("Q:\\first")));
    EXPECT_EQ(ReadTree(Native("first")), (Tree{{"QUEN.DAV", std::string(512, '\0')}}));
  }
  if (!mounted) {
    std::error_code status;
    EXPECT_FALSE(std::filesystem::exists(Native("vol/System Recovery/TMP_MOUNT"), status))
        << status << WhatHolds(Native("vol/System Recovery/TMP_MOUNT"));
    GTEST_SKIP() << "this machine cannot mount WIM images now (error " << image_.GetLastErrorCode()
                 << ")";
  }
  EXPECT_EQ(mount, ORV_T("Q:\\vol\\System Recovery\\TMP_MOUNT\\"));
  WriteNative(Native("vol/System Recovery/TMP_MOUNT/copied.txt"), "copied file");
  ASSERT_TRUE(image_.UnmountImageWIM(mount, ORV_T("Q:\\m.wim"))) << image_.GetLastErrorCode();
  std::error_code status;
  EXPECT_FALSE(std::filesystem::exists(Native("vol/System Recovery/TMP_MOUNT"), status)) << status;
  COrvWim wim;
  ASSERT_TRUE(Apply(wim, ORV_T("Q:\\m.wim"), ORV_T("Q:\\second")));
  EXPECT_EQ(ReadTree(Native("second")), (Tree{{"copied.txt", "copied file"}}));
}

// A mount program that mounts and then reports failure leaves no serving mount and no
// work folder behind.
TEST_F(WimFileEngine, AMountMadeByAProgramThatReportsFailureIsEnded) {
  std::filesystem::create_directories(Native("vol"));
  const std::string programs = Native("programs");
  WriteNative(programs + "/wimmountrw", "#!/bin/sh\n/usr/bin/wimmountrw \"$@\"\nexit 9\n");
  ASSERT_EQ(chmod((programs + "/wimmountrw").c_str(), 0755), 0);
  const std::string path = std::getenv("PATH");
  ASSERT_EQ(setenv("PATH", (programs + ":" + path).c_str(), 1), 0);
  image_.Capture().volumeRoot = ORV_T("Q:\\vol\\");
  WString mount;
  const BOOL mounted = image_.MountImageWIM(mount, ORV_T("Q:\\m.wim"));
  setenv("PATH", path.c_str(), 1);
  EXPECT_FALSE(mounted);
  std::error_code status;
  EXPECT_FALSE(std::filesystem::exists(Native("vol/System Recovery/TMP_MOUNT"), status))
      << status << WhatHolds(Native("vol/System Recovery/TMP_MOUNT"));
}

// A mount that fails on a folder where an image is mounted already leaves that mount
// serving: only what the failed program made is undone.
TEST_F(WimFileEngine, AFailedMountLeavesAMountThatWasThereAlone) {
  COrvWim made;
  Capture(made, ORV_T("Q:\\m.wim"), ORV_T("Q:\\src"), wim::kCompressLzx);
  std::filesystem::create_directories(Native("mnt"));
  COrvWim first;
  if (!first.WIMMountImage(ORV_T("Q:\\mnt"), ORV_T("Q:\\m.wim"), 1, nullptr))
    GTEST_SKIP() << "this machine cannot mount WIM images now (error "
                 << first.GetLastErrorCode() << ")";
  COrvWim second;
  EXPECT_FALSE(second.WIMMountImage(ORV_T("Q:\\mnt"), ORV_T("Q:\\m.wim"), 2, nullptr));
  EXPECT_EQ(ReadTree(Native("mnt"))["a.txt"], "first file\n") << WhatHolds(Native("mnt"));
  EXPECT_TRUE(first.WIMUnmountImage(ORV_T("Q:\\mnt"), ORV_T("Q:\\m.wim"), 1, FALSE))
      << first.GetLastErrorCode();
}

}  // namespace
}  // namespace orv::os
