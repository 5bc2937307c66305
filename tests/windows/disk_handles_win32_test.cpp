// The Win32 backends of the disk query and of the handle release. Wine answers some of
// these calls only in part; a case that Wine cannot serve says so and is skipped.
#include <windows.h>
#undef CreateDirectory  // the macro would rename orv::os::CreateDirectory

#include <gtest/gtest.h>

#include <vector>

#include "fsutil/delete_tree.h"
#include "fsutil/release_handles.h"
#include "platform/disk.h"
#include "platform/file.h"
#include "platform/handles.h"
#include "support/temp_folder.h"

namespace orv::os {
namespace {

TEST(Win32Disks, QueriesPhysicalDrives) {
  DiskInfo disk;
  const DWORD error = QueryDisk(0, disk);
  if (error != 0) GTEST_SKIP() << "physical drive 0 cannot be queried here (error " << error << ")";
  EXPECT_GT(disk.size, 0u);
  EXPECT_GT(disk.sectorSize, 0u);
}

TEST(Win32Handles, AHandleOfThisProcessIsFoundAndClosed) {
  test::TempFolder folder;
  const WString held = folder / ORV_T("held");
  ASSERT_EQ(CreateDirectory(held), 0u);
  // Deliberately never destroyed: its handle is closed behind its back.
  auto* file = new File;
  ASSERT_EQ(file->Open(held, kGenericRead, kShareRead | kShareWrite | kShareDelete,
                       Disposition::kOpenExisting, kBackupSemantics),
            0u);
  std::vector<HeldHandle> handles;
  const DWORD error = FindHandlesOnPath(held, handles);
  if (error != 0 || handles.empty())
    GTEST_SKIP() << "the handle table is not available here (error " << error << ", "
                 << handles.size() << " handles)";
  EXPECT_EQ(handles.size(), 1u);
  EXPECT_EQ(handles[0].value, reinterpret_cast<uintptr_t>(file->NativeHandle()));
  EXPECT_EQ(ReleaseHandlesOnPath(held), 1u);
  ASSERT_EQ(FindHandlesOnPath(held, handles), 0u);
  EXPECT_TRUE(handles.empty()) << "closed through a thread in this process";
  EXPECT_EQ(DeleteTree(held), 0u);
}

TEST(Win32Handles, DeleteTreeFreesAFolderThisProcessHolds) {
  test::TempFolder folder;
  const WString held = folder / ORV_T("held");
  ASSERT_EQ(CreateDirectory(held), 0u);
  test::WriteFile(held + ORV_T("\\inside.txt"), "x");
  auto* file = new File;  // never destroyed: its handle is closed behind its back
  ASSERT_EQ(file->Open(held, kGenericRead, kShareRead | kShareWrite | kShareDelete,
                       Disposition::kOpenExisting, kBackupSemantics),
            0u);
  std::vector<HeldHandle> handles;
  if (FindHandlesOnPath(held, handles) != 0 || handles.empty())
    GTEST_SKIP() << "the handle table is not available here";
  EXPECT_EQ(DeleteTree(held), 0u);
  DWORD attributes = 0;
  EXPECT_NE(GetAttributes(held, attributes), 0u) << "the pending folder went with its last handle";
}

// A change notification holds the folder with list access alone (no right to read its
// attributes): it is found all the same, since the identity needs no access right.
TEST(Win32Handles, AChangeNotificationOnTheFolderIsFound) {
  test::TempFolder folder;
  const WString held = folder / ORV_T("watched");
  ASSERT_EQ(CreateDirectory(held), 0u);
  HANDLE notification = ::FindFirstChangeNotificationW(held.c_str(), FALSE,
                                                       FILE_NOTIFY_CHANGE_FILE_NAME);
  ASSERT_NE(notification, INVALID_HANDLE_VALUE);
  std::vector<HeldHandle> handles;
  const DWORD error = FindHandlesOnPath(held, handles);
  if (error != 0) GTEST_SKIP() << "the handle table is not available here (error " << error << ")";
  if (handles.empty()) {
    ::FindCloseChangeNotification(notification);
    GTEST_SKIP() << "this system does not show the notification's handle as a file";
  }
  EXPECT_EQ(handles.size(), 1u);
  ::FindCloseChangeNotification(notification);
}

DWORD WINAPI WaitForClient(LPVOID pipe) { return ::ConnectNamedPipe(pipe, nullptr); }

// A pipe server blocked waiting for a client keeps its synchronous handle busy; the
// query on it is abandoned after its 50 milliseconds and the scan goes on and ends.
TEST(Win32Handles, ABlockedPipeDoesNotHoldTheScan) {
  test::TempFolder folder;
  const WString held = folder / ORV_T("held");
  ASSERT_EQ(CreateDirectory(held), 0u);
  HANDLE pipe = ::CreateNamedPipeW(L"\\\\.\\pipe\\vantrel-scan-test", PIPE_ACCESS_DUPLEX,
                                   PIPE_TYPE_BYTE | PIPE_WAIT, 1, 512, 512, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  HANDLE waiter = ::CreateThread(nullptr, 0, &WaitForClient, pipe, 0, nullptr);
  ASSERT_NE(waiter, nullptr);
  ::Sleep(50);
  File file;
  ASSERT_EQ(file.Open(held, kGenericRead, kShareRead | kShareWrite | kShareDelete,
                      Disposition::kOpenExisting, kBackupSemantics),
            0u);
  const DWORD started = ::GetTickCount();
  std::vector<HeldHandle> handles;
  const DWORD error = FindHandlesOnPath(held, handles);
  const DWORD took = ::GetTickCount() - started;
  // Let the waiting server go: a client connects.
  HANDLE client = ::CreateFileW(L"\\\\.\\pipe\\vantrel-scan-test", GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, OPEN_EXISTING, 0, nullptr);
  ::WaitForSingleObject(waiter, 5000);
  if (client != INVALID_HANDLE_VALUE) ::CloseHandle(client);
  ::CloseHandle(waiter);
  ::CloseHandle(pipe);
  if (error != 0) GTEST_SKIP() << "the handle table is not available here (error " << error << ")";
  EXPECT_EQ(handles.size(), 1u);
  EXPECT_LT(took, 10000u) << "the scan waited for the pipe";
}

// A handle closed since the table was read is confirmed gone, and nothing is closed.
TEST(Win32Handles, AHandleClosedSinceTheTableWasReadIsLeftAlone) {
  test::TempFolder folder;
  const WString held = folder / ORV_T("held");
  ASSERT_EQ(CreateDirectory(held), 0u);
  File file;
  ASSERT_EQ(file.Open(held, kGenericRead, kShareRead | kShareWrite | kShareDelete,
                      Disposition::kOpenExisting, kBackupSemantics),
            0u);
  std::vector<HeldHandle> handles;
  if (FindHandlesOnPath(held, handles) != 0 || handles.size() != 1)
    GTEST_SKIP() << "the handle table is not available here";
  file.Close();
  // Another file now, perhaps under the same handle value.
  test::WriteFile(folder / ORV_T("other.txt"), "x");
  File other;
  ASSERT_EQ(other.Open(folder / ORV_T("other.txt"), kGenericRead, kShareRead,
                       Disposition::kOpenExisting),
            0u);
  const CloseResult result = CloseHandleInProcess(handles[0]);
  EXPECT_EQ(result.step, CloseStep::kConfirm);
  char byte = 0;
  DWORD done = 0;
  EXPECT_EQ(other.Read(&byte, 1, done), 0u) << "the other file's handle stays open";
  EXPECT_EQ(done, 1u);
}

}  // namespace
}  // namespace orv::os
