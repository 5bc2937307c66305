// The Linux engine behind the binding, end to end through wimlib: capture and apply
// with every compression, the messages and their answers, split sets with reference
// files, image information, boot image, export, copy and the errors of bad input.
#include "wim_test_support.h"

#include <cstring>

#include "platform/errors.h"
#include "platform/local_memory.h"

namespace orv::os {
namespace {

TEST_F(WimEngineTest, CaptureAndApplyGiveBackTheSameTreeForEveryCompression) {
  MakeTree(Native("src"));
  const Tree source = ReadTree(Native("src"));
  for (DWORD compression : {wim::kCompressNone, wim::kCompressXpress, wim::kCompressLzx}) {
    SCOPED_TRACE(compression);
    COrvWim wim;
    Capture(wim, ORV_T("Q:\\out.wim"), ORV_T("Q:\\src"), compression);
    ASSERT_NE(wim.WIMCreateFile(ORV_T("Q:\\out.wim"), wim::kGenericRead, wim::kOpenExisting, 0, 0,
                                nullptr),
              nullptr);
    EXPECT_EQ(wim.WIMGetImageCount(nullptr), 1u);
    wim::WimInfo info{};
    ASSERT_TRUE(wim.WIMGetAttributes(nullptr, &info, sizeof info));
    EXPECT_EQ(info.imageCount, 1u);
    EXPECT_EQ(info.partNumber, 1);
    EXPECT_EQ(info.totalParts, 1);
    EXPECT_EQ(info.compressionType, compression);
    EXPECT_EQ(WString(info.wimPath), WString(ORV_T("Q:\\out.wim")));
    EXPECT_TRUE(wim.WIMCloseHandle(nullptr));
    EXPECT_TRUE(wim.IsFirstPart(ORV_T("Q:\\out.wim")));

    std::filesystem::remove_all(Native("dst"));
    ASSERT_TRUE(Apply(wim, ORV_T("Q:\\out.wim"), ORV_T("Q:\\dst")));
    EXPECT_EQ(ReadTree(Native("dst")), source);
  }
}

TEST_F(WimEngineTest, ProcessMessagesLeaveEntriesOutOfCaptureAndApply) {
  MakeTree(Native("src"));
  COrvWim wim;
  MessageLog capture;
  capture.leaveOut = {ORV_T("Q:\\src\\dir\\sub")};
  Capture(wim, ORV_T("Q:\\out.wim"), ORV_T("Q:\\src"), wim::kCompressLzx, &capture);
  EXPECT_NE(std::find(capture.processed.begin(), capture.processed.end(),
                      WString(ORV_T("Q:\\src\\dir\\b.bin"))),
            capture.processed.end())
      << "process messages name the files as the caller named the source";
  ASSERT_FALSE(capture.percents.empty());
  EXPECT_EQ(capture.percents.back(), 100u);

  // The target already holds a.txt: left out, it must stay as it is.
  WriteNative(Native("dst/a.txt"), "kept");
  MessageLog apply;
  apply.leaveOut = {ORV_T("Q:\\dst\\a.txt")};
  ASSERT_TRUE(Apply(wim, ORV_T("Q:\\out.wim"), ORV_T("Q:\\dst"), wim::kFlagFileInfo, &apply));
  Tree expected = ReadTree(Native("src"));
  expected.erase("dir/sub");
  expected.erase("dir/sub/c.txt");
  expected["a.txt"] = "kept";
  EXPECT_EQ(ReadTree(Native("dst")), expected);
  EXPECT_EQ(apply.fileSizes[ORV_T("Q:\\dst\\dir\\b.bin")], 200000u);
  EXPECT_EQ(apply.fileSizes.count(ORV_T("Q:\\dst\\a.txt")), 0u) << "left out, not reported";
}

TEST_F(WimEngineTest, NoApplyReportsWithoutWritingAndAbortStopsTheWork) {
  MakeTree(Native("src"));
  COrvWim wim;
  Capture(wim, ORV_T("Q:\\out.wim"), ORV_T("Q:\\src"), wim::kCompressXpress);

  MessageLog listing;
  ASSERT_TRUE(Apply(wim, ORV_T("Q:\\out.wim"), ORV_T("Q:\\list"),
                    wim::kFlagNoApply | wim::kFlagFileInfo, &listing));
  EXPECT_FALSE(std::filesystem::exists(Native("list")));
  EXPECT_EQ(listing.fileSizes[ORV_T("Q:\\list\\dir\\sub\\c.txt")], 5000u);

  // An abort answer to the progress message fails the capture with "aborted" (1235)
  // and leaves a WIM file without the image.
  MessageLog abort;
  abort.progressAnswer = wim::kMsgAbortImage;
  ASSERT_NE(wim.WIMCreateFile(ORV_T("Q:\\aborted.wim"), wim::kGenericWrite, wim::kCreateAlways, 0,
                              wim::kCompressLzx, nullptr),
            nullptr);
  wim.WIMRegisterMessageCallback(nullptr, MessageLog::Routine, &abort);
  EXPECT_EQ(wim.WIMCaptureImage(nullptr, ORV_T("Q:\\src"), 0), nullptr);
  EXPECT_EQ(wim.GetLastErrorCode(), 1235u);
  EXPECT_TRUE(wim.WIMCloseHandle(nullptr));
  ASSERT_NE(wim.WIMCreateFile(ORV_T("Q:\\aborted.wim"), wim::kGenericRead, wim::kOpenExisting, 0, 0,
                              nullptr),
            nullptr);
  EXPECT_EQ(wim.WIMGetImageCount(nullptr), 0u);
}

TEST_F(WimEngineTest, SplitPartsApplyWithTheirReferences) {
  WriteNative(Native("src/big1.bin"), Noise(1500000, 1));
  WriteNative(Native("src/big2.bin"), Noise(1500000, 2));
  WriteNative(Native("src/small.txt"), "small");
  COrvWim wim;
  Capture(wim, ORV_T("Q:\\whole.wim"), ORV_T("Q:\\src"), wim::kCompressNone);
  ASSERT_NE(wim.WIMCreateFile(ORV_T("Q:\\whole.wim"), wim::kGenericRead, wim::kOpenExisting, 0, 0,
                              nullptr),
            nullptr);
  LONGLONG partSize = 1 << 20;
  std::filesystem::create_directories(Native("parts"));
  ASSERT_TRUE(wim.WIMSplitFile(nullptr, ORV_T("Q:\\parts\\set.swm"), &partSize, 0))
      << wim.GetLastErrorCode();
  wim.WIMCloseHandle(nullptr);
  ASSERT_TRUE(std::filesystem::exists(Native("parts/set2.swm")));
  EXPECT_TRUE(wim.IsFirstPart(ORV_T("Q:\\parts\\set.swm")));
  EXPECT_EQ(wim.GetPartNumber(ORV_T("Q:\\parts\\set2.swm")), 2);

  std::vector<WString> references;
  for (const auto& entry : std::filesystem::directory_iterator(Native("parts")))
    if (entry.path().filename() != "set.swm")
      references.push_back(ORV_T("Q:\\parts\\") + FromUtf8(entry.path().filename().string()));
  ASSERT_TRUE(Apply(wim, ORV_T("Q:\\parts\\set.swm"), ORV_T("Q:\\dst"), 0, nullptr, references));
  EXPECT_EQ(ReadTree(Native("dst")), ReadTree(Native("src")));

  // Replacing the list with nothing forgets the other parts again.
  ASSERT_NE(wim.WIMCreateFile(ORV_T("Q:\\parts\\set.swm"), wim::kGenericRead, wim::kOpenExisting, 0,
                              0, nullptr),
            nullptr);
  for (const WString& reference : references)
    EXPECT_TRUE(wim.WIMSetReferenceFile(nullptr, reference.c_str(), wim::kReferenceAppend));
  EXPECT_TRUE(wim.WIMSetReferenceFile(nullptr, nullptr, wim::kReferenceReplace));
  EXPECT_FALSE(wim.WIMSetReferenceFile(nullptr, references[0].c_str(), 0)) << "no mode given";
  HANDLE image = wim.WIMLoadImage(nullptr, 1);
  ASSERT_NE(image, nullptr);
  EXPECT_FALSE(wim.WIMApplyImage(image, ORV_T("Q:\\again"), 0));
  EXPECT_EQ(wim.GetLastErrorCode(), 1168u) << "data of the other parts is not found";
  wim.WIMCloseHandle(image);
  wim.WIMCloseHandle(nullptr);
}

TEST_F(WimEngineTest, ImageInformationAndBootImageAreWrittenOnClose) {
  MakeTree(Native("src"));
  COrvWim wim;
  Capture(wim, ORV_T("Q:\\out.wim"), ORV_T("Q:\\src"), wim::kCompressLzx);
  ASSERT_NE(wim.WIMCreateFile(ORV_T("Q:\\out.wim"), wim::kGenericRead | wim::kGenericWrite,
                              wim::kOpenExisting, 0, 0, nullptr),
            nullptr);
  HANDLE image = wim.WIMLoadImage(nullptr, 1);
  ASSERT_NE(image, nullptr);
  void* info = nullptr;
  DWORD size = 0;
  ASSERT_TRUE(wim.WIMGetImageInformation(image, &info, &size));
  ASSERT_GE(size, 2u);
  const auto* bytes = static_cast<const BYTE*>(info);
  EXPECT_TRUE(bytes[0] == 0xFF && bytes[1] == 0xFE) << "UTF-16LE with a byte-order mark";
  const WString text(reinterpret_cast<const Char*>(bytes + 2), (size - 2) / 2);
  EXPECT_EQ(text.rfind(ORV_T("<IMAGE INDEX=\"1\">"), 0), 0u);
  EXPECT_TRUE(wim.WIMSetImageInformation(image, info, size)) << "written back unchanged";
  os::LocalRelease(info);

  const WString changed = ORV_T(
      "\xFEFF<IMAGE INDEX=\"1\"><NAME>Base</NAME>"
      "<DESCRIPTION>First image</DESCRIPTION></IMAGE>");
  ASSERT_TRUE(wim.WIMSetImageInformation(image, const_cast<Char*>(changed.data()),
                                         DWORD(changed.size() * 2)))
      << wim.GetLastErrorCode();
  EXPECT_TRUE(wim.WIMSetBootImage(nullptr, 1));
  EXPECT_FALSE(wim.WIMSetBootImage(nullptr, 2)) << "there is no image 2";

  wim.WIMCloseHandle(image);
  EXPECT_TRUE(wim.WIMCloseHandle(nullptr)) << wim.GetLastErrorCode();

  ASSERT_NE(
      wim.WIMCreateFile(ORV_T("Q:\\out.wim"), wim::kGenericRead, wim::kOpenExisting, 0, 0, nullptr),
      nullptr);
  wim::WimInfo attributes{};
  ASSERT_TRUE(wim.WIMGetAttributes(nullptr, &attributes, sizeof attributes));
  EXPECT_EQ(attributes.bootIndex, 1u);
  image = wim.WIMLoadImage(nullptr, 1);
  ASSERT_TRUE(wim.WIMGetImageInformation(image, &info, &size));
  const WString saved(static_cast<const Char*>(info) + 1, size / 2 - 1);
  os::LocalRelease(info);
  EXPECT_NE(saved.find(ORV_T("<NAME>Base</NAME>")), WString::npos);

  wim.WIMCloseHandle(image);
  wim.WIMCloseHandle(nullptr);
}

TEST_F(WimEngineTest, ExportCopiesAnImageIntoAnotherWim) {
  MakeTree(Native("src"));
  COrvWim wim;
  Capture(wim, ORV_T("Q:\\out.wim"), ORV_T("Q:\\src"), wim::kCompressLzx);
  HANDLE source =
      wim.WIMCreateFile(ORV_T("Q:\\out.wim"), wim::kGenericRead, wim::kOpenExisting, 0, 0, nullptr);
  ASSERT_NE(source, nullptr);
  HANDLE target = wim.WIMCreateFile(ORV_T("Q:\\exported.wim"), wim::kGenericWrite,
                                    wim::kCreateAlways, 0, wim::kCompressXpress, nullptr);
  ASSERT_NE(target, nullptr);
  HANDLE image = wim.WIMLoadImage(source, 1);
  ASSERT_NE(image, nullptr);
  EXPECT_TRUE(wim.WIMExportImage(image, target, 0)) << wim.GetLastErrorCode();
  EXPECT_TRUE(wim.WIMCloseHandle(image));
  EXPECT_TRUE(wim.WIMCloseHandle(source));
  EXPECT_TRUE(wim.WIMCloseHandle(target)) << wim.GetLastErrorCode();
  ASSERT_TRUE(Apply(wim, ORV_T("Q:\\exported.wim"), ORV_T("Q:\\dst")));
  EXPECT_EQ(ReadTree(Native("dst")), ReadTree(Native("src")));
}

TEST_F(WimEngineTest, CopyFileHonoursItsCancelFlag) {
  WriteNative(Native("a.wim"), Noise(3000000, 3));
  COrvWim wim;
  BOOL cancel = FALSE;
  ASSERT_TRUE(
      wim.WIMCopyFile(ORV_T("Q:\\a.wim"), ORV_T("Q:\\b.wim"), nullptr, nullptr, &cancel, 0));
  EXPECT_EQ(ReadTree(Native()).at("b.wim"), ReadTree(Native()).at("a.wim"));
  EXPECT_FALSE(
      wim.WIMCopyFile(ORV_T("Q:\\a.wim"), ORV_T("Q:\\b.wim"), nullptr, nullptr, &cancel, 1));
  EXPECT_EQ(wim.GetLastErrorCode(), err::kFileExists);
  cancel = TRUE;
  EXPECT_FALSE(
      wim.WIMCopyFile(ORV_T("Q:\\a.wim"), ORV_T("Q:\\c.wim"), nullptr, nullptr, &cancel, 0));
  EXPECT_EQ(wim.GetLastErrorCode(), 1235u);
  EXPECT_FALSE(std::filesystem::exists(Native("c.wim")));
}

TEST_F(WimEngineTest, BadInputGivesWindowsErrors) {
  WriteNative(Native("not.wim"), std::string(4096, 'x'));
  MakeTree(Native("src"));
  COrvWim wim;
  EXPECT_EQ(wim.WIMCreateFile(ORV_T("Q:\\missing.wim"), wim::kGenericRead, wim::kOpenExisting, 0, 0,
                              nullptr),
            nullptr);
  EXPECT_EQ(wim.GetLastErrorCode(), err::kFileNotFound);
  EXPECT_EQ(
      wim.WIMCreateFile(ORV_T("Q:\\not.wim"), wim::kGenericRead, wim::kOpenExisting, 0, 0, nullptr),
      nullptr);
  EXPECT_EQ(wim.GetLastErrorCode(), err::kBadFormat);
  EXPECT_EQ(
      wim.WIMCreateFile(ORV_T("Q:\\not.wim"), wim::kGenericWrite, wim::kCreateNew, 0, 0, nullptr),
      nullptr);
  EXPECT_EQ(wim.GetLastErrorCode(), err::kFileExists);
  EXPECT_EQ(wim.GetPartNumber(ORV_T("Q:\\not.wim")), 0);

  Capture(wim, ORV_T("Q:\\out.wim"), ORV_T("Q:\\src"), wim::kCompressLzx);
  ASSERT_NE(
      wim.WIMCreateFile(ORV_T("Q:\\out.wim"), wim::kGenericRead, wim::kOpenExisting, 0, 0, nullptr),
      nullptr);
  EXPECT_EQ(wim.WIMLoadImage(nullptr, 2), nullptr);
  EXPECT_EQ(wim.GetLastErrorCode(), err::kInvalidParameter);
  EXPECT_EQ(wim.WIMCaptureImage(nullptr, ORV_T("Q:\\src"), 0), nullptr);
  EXPECT_EQ(wim.GetLastErrorCode(), err::kAccessDenied) << "opened for reading only";
  EXPECT_FALSE(wim.WIMCloseHandle(reinterpret_cast<HANDLE>(0x1234)));
  EXPECT_EQ(wim.GetLastErrorCode(), err::kInvalidHandle);
}

}  // namespace
}  // namespace orv::os

namespace orv::os {
namespace {

TEST_F(WimEngineTest, MountedImageTakesChangesOnCommit) {
  MakeTree(Native("src"));
  COrvWim wim;
  Capture(wim, ORV_T("Q:\\out.wim"), ORV_T("Q:\\src"), wim::kCompressLzx);
  std::filesystem::create_directories(Native("mnt"));
  std::filesystem::create_directories(Native("staging"));
  if (!wim.WIMMountImage(ORV_T("Q:\\mnt"), ORV_T("Q:\\out.wim"), 1, ORV_T("Q:\\staging"))) {
    EXPECT_EQ(wim.GetLastErrorCode(), err::kNotSupported);
    GTEST_SKIP() << "this machine cannot mount (no FUSE or no wimmountrw)";
  }
  EXPECT_TRUE(wim.GetMountResult());
  EXPECT_EQ(ReadTree(Native("mnt")), ReadTree(Native("src")));
  WriteNative(Native("mnt/added.txt"), "added while mounted");
  std::filesystem::remove(Native("mnt/a.txt"));
  ASSERT_TRUE(wim.WIMUnmountImage(ORV_T("Q:\\mnt"), ORV_T("Q:\\out.wim"), 1, TRUE))
      << wim.GetLastErrorCode();
  EXPECT_FALSE(wim.WIMUnmountImage(ORV_T("Q:\\mnt"), ORV_T("Q:\\out.wim"), 1, TRUE))
      << "nothing is mounted there any more";

  ASSERT_TRUE(Apply(wim, ORV_T("Q:\\out.wim"), ORV_T("Q:\\dst")));
  Tree expected = ReadTree(Native("src"));
  expected.erase("a.txt");
  expected["added.txt"] = "added while mounted";
  EXPECT_EQ(ReadTree(Native("dst")), expected);

  // Without a temporary folder the image is mounted read-only.
  ASSERT_TRUE(wim.WIMMountImage(ORV_T("Q:\\mnt"), ORV_T("Q:\\out.wim"), 1, nullptr));
  EXPECT_EQ(ReadTree(Native("mnt")), expected);
  EXPECT_FALSE(std::ofstream(Native("mnt/more.txt")).is_open());
  EXPECT_TRUE(wim.WIMUnmountImage(ORV_T("Q:\\mnt"), ORV_T("Q:\\out.wim"), 1, FALSE));
}

}  // namespace
}  // namespace orv::os
