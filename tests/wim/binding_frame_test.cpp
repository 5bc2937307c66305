// The binding's frame over a recording engine: the current WIM handle stands in for a
// null one, the error is taken after each call, the temporary path is set before the
// first image is loaded, and the part number is read without disturbing the current
// handle. Runs on every system, engine or not.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/last_error.h"
#include "platform/process.h"
#include "wim/wim.h"

namespace orv {
namespace {

struct Recorder {
  std::vector<std::string> calls;
  std::vector<HANDLE> handles;
  WString temporaryPath;
  DWORD errorAfterCall = 0;
  BOOL temporaryPathResult = TRUE;
  HANDLE nextHandle = reinterpret_cast<HANDLE>(0x100);
  WORD partNumber = 1;
};
Recorder* recorder = nullptr;

void Record(const char* call, HANDLE handle) {
  recorder->calls.push_back(call);
  recorder->handles.push_back(handle);
  os::SetThreadLastError(recorder->errorAfterCall);
}

HANDLE NewHandle() {
  HANDLE handle = recorder->nextHandle;
  recorder->nextHandle = static_cast<char*>(handle) + 0x10;
  return handle;
}

HANDLE ORV_CALLBACK FakeCreate(LPCTSTR, DWORD, DWORD, DWORD, DWORD, DWORD*) {
  Record("create", nullptr);
  return NewHandle();
}
DWORD ORV_CALLBACK FakeCount(HANDLE h) {
  Record("count", h);
  return 2;
}
BOOL ORV_CALLBACK FakeAttributes(HANDLE h, void* record, DWORD) {
  Record("attributes", h);
  static_cast<wim::WimInfo*>(record)->partNumber = recorder->partNumber;
  return TRUE;
}
BOOL ORV_CALLBACK FakeClose(HANDLE h) {
  Record("close", h);
  return TRUE;
}
BOOL ORV_CALLBACK FakeApply(HANDLE h, LPCTSTR, DWORD) {
  Record("apply", h);
  return TRUE;
}
HANDLE ORV_CALLBACK FakeLoad(HANDLE h, DWORD) {
  Record("load", h);
  return NewHandle();
}
BOOL ORV_CALLBACK FakeMount(LPCTSTR, LPCTSTR, DWORD, LPCTSTR) {
  Record("mount", nullptr);
  return TRUE;
}
BOOL ORV_CALLBACK FakeUnmount(LPCTSTR, LPCTSTR, DWORD, BOOL) {
  Record("unmount", nullptr);
  return TRUE;
}
HANDLE ORV_CALLBACK FakeCapture(HANDLE h, LPCTSTR, DWORD) {
  Record("capture", h);
  return NewHandle();
}
BOOL ORV_CALLBACK FakeSplit(HANDLE h, LPCTSTR, LONGLONG*, DWORD) {
  Record("split", h);
  return TRUE;
}
BOOL ORV_CALLBACK FakeTemporaryPath(HANDLE h, LPCTSTR path) {
  Record("temporary", h);
  recorder->temporaryPath = path;
  return recorder->temporaryPathResult;
}
DWORD ORV_CALLBACK FakeRegister(HANDLE h, wim::MessageRoutine, void*) {
  Record("register", h);
  return 0;
}
BOOL ORV_CALLBACK FakeUnregister(HANDLE h, wim::MessageRoutine) {
  Record("unregister", h);
  return TRUE;
}
BOOL ORV_CALLBACK FakeReference(HANDLE h, LPCTSTR, DWORD) {
  Record("reference", h);
  return TRUE;
}
BOOL ORV_CALLBACK FakeCopy(LPCTSTR, LPCTSTR, void*, void*, BOOL*, DWORD) {
  Record("copy", nullptr);
  return TRUE;
}
BOOL ORV_CALLBACK FakeExport(HANDLE image, HANDLE, DWORD) {
  Record("export", image);
  return TRUE;
}
BOOL ORV_CALLBACK FakeGetInfo(HANDLE h, void**, DWORD*) {
  Record("getinfo", h);
  return TRUE;
}
BOOL ORV_CALLBACK FakeSetInfo(HANDLE h, void*, DWORD) {
  Record("setinfo", h);
  return TRUE;
}
BOOL ORV_CALLBACK FakeBoot(HANDLE h, DWORD) {
  Record("boot", h);
  return TRUE;
}

wim::Functions FakeEngine() {
  wim::Functions f{};
  f.CreateFile = FakeCreate;
  f.GetImageCount = FakeCount;
  f.GetAttributes = FakeAttributes;
  f.CloseHandle = FakeClose;
  f.ApplyImage = FakeApply;
  f.LoadImage = FakeLoad;
  f.MountImage = FakeMount;
  f.UnmountImage = FakeUnmount;
  f.CaptureImage = FakeCapture;
  f.SplitFile = FakeSplit;
  f.SetTemporaryPath = FakeTemporaryPath;
  f.RegisterMessageCallback = FakeRegister;
  f.UnregisterMessageCallback = FakeUnregister;
  f.SetReferenceFile = FakeReference;
  f.CopyFile = FakeCopy;
  f.ExportImage = FakeExport;
  f.GetImageInformation = FakeGetInfo;
  f.SetImageInformation = FakeSetInfo;
  f.SetBootImage = FakeBoot;
  return f;
}

class BindingFrameTest : public ::testing::Test {
 protected:
  void SetUp() override { recorder = &record_; }
  void TearDown() override { recorder = nullptr; }
  HANDLE Open(COrvWim& wim) {
    DWORD result = 0;
    return wim.WIMCreateFile(ORV_T("C:\\a.wim"), wim::kGenericRead, wim::kOpenExisting, 0, 0,
                             &result);
  }
  Recorder record_;
};

TEST_F(BindingFrameTest, NullHandleMeansTheCurrentWimUntilItIsClosed) {
  COrvWim wim(FakeEngine());
  BYTE record[560] = {};
  EXPECT_FALSE(wim.WIMGetAttributes(nullptr, record, sizeof record));
  EXPECT_EQ(wim.GetLastErrorCode(), ORV_ERROR_ARG2);
  EXPECT_TRUE(record_.calls.empty()) << "the engine is not called without a handle";

  HANDLE first = Open(wim);
  HANDLE second = Open(wim);
  ASSERT_NE(first, second);
  EXPECT_TRUE(wim.WIMGetAttributes(nullptr, record, sizeof record));
  EXPECT_EQ(record_.handles.back(), second) << "the last WIM opened is the current one";
  EXPECT_TRUE(wim.WIMGetAttributes(first, record, sizeof record));
  EXPECT_EQ(record_.handles.back(), first);

  EXPECT_TRUE(wim.WIMCloseHandle(first));  // not the current one: it stays
  EXPECT_TRUE(wim.WIMSetBootImage(nullptr, 1));
  EXPECT_EQ(record_.handles.back(), second);
  EXPECT_TRUE(wim.WIMCloseHandle(nullptr));
  EXPECT_EQ(record_.handles.back(), second);
  const size_t calls = record_.calls.size();
  EXPECT_FALSE(wim.WIMGetAttributes(nullptr, record, sizeof record));
  EXPECT_EQ(wim.GetLastErrorCode(), ORV_ERROR_ARG2);
  EXPECT_EQ(wim.WIMGetImageCount(nullptr), 0xFFFFFFFF);
  EXPECT_EQ(record_.calls.size(), calls);
  EXPECT_FALSE(wim.WIMApplyImage(nullptr, ORV_T("C:\\t"), 0)) << "an image is never implied";
}

TEST_F(BindingFrameTest, TheErrorIsTakenAfterEveryCallExceptTheCount) {
  COrvWim wim(FakeEngine());
  record_.errorAfterCall = 183;
  Open(wim);
  EXPECT_EQ(wim.GetLastErrorCode(), 183u) << "taken even when the call succeeds";
  record_.errorAfterCall = 0;
  EXPECT_TRUE(wim.WIMSetReferenceFile(nullptr, ORV_T("C:\\b.wim"), 0));
  EXPECT_EQ(wim.GetLastErrorCode(), 0u);
  record_.errorAfterCall = 5;
  EXPECT_EQ(wim.WIMGetImageCount(nullptr), 2u);
  EXPECT_EQ(wim.GetLastErrorCode(), 0u) << "the count leaves the error alone";
}

TEST_F(BindingFrameTest, FirstLoadSetsTheTemporaryPathToTheCurrentDirectory) {
  WString current;
  ASSERT_EQ(os::GetCurrentDirectory(current), 0u);
  {
    COrvWim wim(FakeEngine());
    HANDLE file = Open(wim);
    EXPECT_NE(wim.WIMLoadImage(nullptr, 1), nullptr);
    ASSERT_GE(record_.calls.size(), 3u);
    EXPECT_EQ(record_.calls[1], "temporary");
    EXPECT_EQ(record_.handles[1], file);
    EXPECT_EQ(record_.temporaryPath, current);
    record_.calls.clear();
    EXPECT_NE(wim.WIMLoadImage(nullptr, 1), nullptr);
    EXPECT_EQ(record_.calls, std::vector<std::string>{"load"}) << "set once is enough";
  }
  {
    COrvWim wim(FakeEngine());
    Open(wim);
    EXPECT_TRUE(wim.WIMSetTemporaryPath(nullptr, ORV_T("C:\\temp")));
    record_.calls.clear();
    wim.WIMLoadImage(nullptr, 1);
    EXPECT_EQ(record_.calls, std::vector<std::string>{"load"});
    EXPECT_EQ(record_.temporaryPath, WString(ORV_T("C:\\temp")));
  }
  {
    COrvWim wim(FakeEngine());
    Open(wim);
    record_.temporaryPathResult = FALSE;
    wim.WIMSetTemporaryPath(nullptr, ORV_T("C:\\missing"));
    record_.temporaryPathResult = TRUE;
    wim.WIMLoadImage(nullptr, 1);
    EXPECT_EQ(record_.temporaryPath, current) << "a failed explicit path does not count";
  }
}

TEST_F(BindingFrameTest, ExportWithoutImageLoadsImageOneAndClosesIt) {
  COrvWim wim(FakeEngine());
  HANDLE source = Open(wim);
  wim.WIMSetTemporaryPath(nullptr, ORV_T("C:\\temp"));
  HANDLE target = reinterpret_cast<HANDLE>(0x9000);
  record_.calls.clear();
  record_.handles.clear();
  EXPECT_TRUE(wim.WIMExportImage(nullptr, target, 0));
  ASSERT_EQ(record_.calls, (std::vector<std::string>{"load", "export", "close"}));
  EXPECT_EQ(record_.handles[0], source);
  EXPECT_EQ(record_.handles[1], record_.handles[2]) << "the loaded image is exported, then closed";
}

TEST_F(BindingFrameTest, PartNumberLeavesTheCurrentWimAndDestructionClosesIt) {
  HANDLE current = nullptr;
  {
    COrvWim wim(FakeEngine());
    current = Open(wim);
    record_.partNumber = 3;
    EXPECT_EQ(wim.GetPartNumber(ORV_T("C:\\a2.swm")), 3);
    EXPECT_FALSE(wim.IsFirstPart(ORV_T("C:\\a2.swm")));
    record_.partNumber = 1;
    EXPECT_TRUE(wim.IsFirstPart(ORV_T("C:\\a.wim")));
    wim.WIMGetImageCount(nullptr);
    EXPECT_EQ(record_.handles.back(), current);
    record_.calls.clear();
    record_.handles.clear();
  }
  EXPECT_EQ(record_.calls, std::vector<std::string>{"close"});
  EXPECT_EQ(record_.handles.back(), current);
}

TEST_F(BindingFrameTest, MountKeepsItsResult) {
  COrvWim wim(FakeEngine());
  EXPECT_FALSE(wim.GetMountResult());
  EXPECT_TRUE(wim.WIMMountImage(ORV_T("C:\\m"), ORV_T("C:\\a.wim"), 1, ORV_T("C:\\t")));
  EXPECT_TRUE(wim.GetMountResult());
}

}  // namespace
}  // namespace orv
