// The binding's frame, whichever engine the machine has: without one every operation
// fails with 0x10000002 (the count and callback registration with -1); with one, a
// null handle and no current WIM fails with 0x10000003.
#include <gtest/gtest.h>

#include "wim/wim.h"

namespace orv {
namespace {

bool EngineLoaded(COrvWim& wim) {
  wim.WIMGetImageCount(nullptr);
  return wim.GetLastErrorCode() != ORV_ERROR_ARG1;
}

TEST(WimBinding, WithoutAnEngineEveryOperationFailsCleanly) {
  COrvWim wim;
  if (EngineLoaded(wim)) GTEST_SKIP() << "an imaging engine is installed here";
  const Char* path = ORV_T("C:\\none.wim");
  DWORD result = 0;
  LONGLONG size = 1 << 20;
  void* info = nullptr;
  BYTE record[560] = {};
  BOOL cancel = FALSE;
  const auto refused = [&wim](bool failed) {
    EXPECT_TRUE(failed);
    EXPECT_EQ(wim.GetLastErrorCode(), ORV_ERROR_ARG1);
  };
  refused(wim.WIMCreateFile(path, wim::kGenericRead, wim::kOpenExisting, 0, 0, &result) == nullptr);
  refused(!wim.WIMCopyFile(path, path, nullptr, nullptr, &cancel, 0));
  refused(wim.WIMGetImageCount(nullptr) == 0xFFFFFFFF);
  refused(!wim.WIMGetAttributes(nullptr, record, sizeof record));
  refused(!wim.WIMCloseHandle(nullptr));
  refused(!wim.WIMApplyImage(nullptr, path, 0));
  refused(wim.WIMLoadImage(nullptr, 1) == nullptr);
  refused(!wim.WIMExportImage(nullptr, nullptr, 0));
  refused(!wim.WIMMountImage(path, path, 1, path));
  refused(!wim.WIMUnmountImage(path, path, 1, TRUE));
  refused(wim.WIMCaptureImage(nullptr, path, 0) == nullptr);
  refused(!wim.WIMSplitFile(nullptr, path, &size, 0));
  refused(!wim.WIMSetTemporaryPath(nullptr, path));
  refused(wim.WIMRegisterMessageCallback(nullptr, nullptr, nullptr) == 0xFFFFFFFF);
  refused(!wim.WIMUnregisterMessageCallback(nullptr, nullptr));
  refused(!wim.WIMGetImageInformation(nullptr, &info, &result));
  refused(!wim.WIMSetImageInformation(nullptr, nullptr, 0));
  refused(!wim.WIMSetBootImage(nullptr, 1));
  refused(!wim.WIMSetReferenceFile(nullptr, path, 0));
  EXPECT_EQ(wim.GetPartNumber(path), 0);
  EXPECT_FALSE(wim.IsFirstPart(path));
  EXPECT_FALSE(wim.GetMountResult());
}

TEST(WimBinding, NullHandleWithoutCurrentWimIsRefused) {
  COrvWim wim;
  if (!EngineLoaded(wim)) GTEST_SKIP() << "no imaging engine here";
  DWORD result = 0;
  LONGLONG size = 1 << 20;
  void* info = nullptr;
  BYTE record[560] = {};
  const auto refused = [&wim](bool failed) {
    EXPECT_TRUE(failed);
    EXPECT_EQ(wim.GetLastErrorCode(), ORV_ERROR_ARG2);
  };
  refused(wim.WIMGetImageCount(nullptr) == 0xFFFFFFFF);
  refused(!wim.WIMGetAttributes(nullptr, record, sizeof record));
  refused(!wim.WIMCloseHandle(nullptr));
  refused(!wim.WIMApplyImage(nullptr, ORV_T("x"), 0));
  refused(wim.WIMLoadImage(nullptr, 1) == nullptr);
  refused(!wim.WIMExportImage(nullptr, nullptr, 0));
  refused(wim.WIMCaptureImage(nullptr, ORV_T("x"), 0) == nullptr);
  refused(!wim.WIMSplitFile(nullptr, ORV_T("x"), &size, 0));
  refused(!wim.WIMSetTemporaryPath(nullptr, ORV_T("x")));
  refused(wim.WIMRegisterMessageCallback(nullptr, nullptr, nullptr) == 0xFFFFFFFF);
  refused(!wim.WIMUnregisterMessageCallback(nullptr, nullptr));
  refused(!wim.WIMGetImageInformation(nullptr, &info, &result));
  refused(!wim.WIMSetImageInformation(nullptr, nullptr, 0));
  refused(!wim.WIMSetBootImage(nullptr, 1));
  refused(!wim.WIMSetReferenceFile(nullptr, ORV_T("x"), 0));
}

}  // namespace
}  // namespace orv
