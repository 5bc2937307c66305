// A recovery point of a real NTFS system drive (ntfs-3g on an image file): a changed
// file that another handle holds without sharing, with no snapshot to read it from, is
// copied out of the volume's master file table.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "archive/archive_support.h"
#include "archive/morlet.h"
#include "native_path.h"
#include "ntfs3g_volume.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/volume.h"
#include "recovery/recovery_point.h"
#include "services/change_database.h"
#include "services/log.h"
#include "support/temp_folder.h"

namespace orv::test {
namespace {

TEST(RecoveryPointOfNtfs3g, ALockedFileIsTakenFromTheMasterFileTable) {
  TempFolder folder;
  Ntfs3gVolume volume;
  const std::string why = volume.Mount(NativeOf(folder.Path()), "c");
  if (!why.empty()) GTEST_SKIP() << why;
  const std::string content = NoiseBytes(150000, 9);
  WriteFile(volume.Path() + ORV_T("/locked.bin"), content);
  sync();  // the table reader reads the device, not the driver's cache
  ASSERT_EQ(os::SetDriveFolder('C', volume.Path()), 0u);
  setenv("VANTREL_REGISTRY", Native(folder / ORV_T("registry")).c_str(), 1);
  const WString database = folder / ORV_T("changes.db");
  {
    std::unique_ptr<ChangeDatabase> db;
    ASSERT_EQ(ChangeDatabase::Open(Native(database), ChangeDatabase::Mode::kWrite, db), 0u);
    ASSERT_EQ(db->Record(MonitoredChange{ORV_T("C:\\locked.bin"), kChangeModified, os::kAttrArchive,
                                         os::FileTimeToLocal(os::CurrentFileTime())}),
              0u);
  }

  os::File holder;
  ASSERT_EQ(holder.Open(volume.Path() + ORV_T("/locked.bin"), os::kGenericRead, 0,
                        os::Disposition::kOpenExisting),
            0u);
  COrvLog& log = COrvLog::GetInstance();
  const DWORD savedMask = log.LevelMask();
  log.SetLevelMask(COrvLog::kAllLevels);
  if (!log.IsInitialized()) log.Init(1);
  ASSERT_EQ(log.Redirect(folder / ORV_T("recovery.log")), 0u);
  const WString point = folder / ORV_T("point");
  COrvRecoveryPoint recovery;
  const BOOL made = recovery.Create(database.c_str(), (folder / ORV_T("none")).c_str(),
                                    point.c_str(), ORV_T(""), nullptr);
  log.Redirect(ORV_T(""));
  log.SetLevelMask(savedMask);
  holder.Close();
  os::SetDriveFolder('C', ORV_T(""));
  unsetenv("VANTREL_REGISTRY");
  const std::string lines = ReadFile(folder / ORV_T("recovery.log"));
  ASSERT_TRUE(made) << recovery.GetLastErrorCode() << "\n" << lines;
  EXPECT_NE(lines.find("\\locked.bin copied out through the file table"), std::string::npos) << lines;

  COrvMorlet archive;
  ASSERT_TRUE(archive.Open((point + ORV_T("\\BASE.INP")).c_str(), 1, 5));
  const WString out = folder / ORV_T("out");
  ASSERT_EQ(os::CreateDirectory(out), 0u);
  ASSERT_TRUE(archive.ExtractFile(ORV_T("locked.bin"), out.c_str()));
  EXPECT_EQ(ReadFile(out + ORV_T("/locked.bin")), content);
}

}  // namespace
}  // namespace orv::test
