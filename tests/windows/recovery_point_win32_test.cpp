// Recovery points on a Windows without the file-monitoring component: a clean failure
// with the component's code, and no folder left behind.
#include <gtest/gtest.h>

#include "archive/archive_support.h"
#include "recovery/recovery_point.h"
#include "services/shadow_copy.h"
#include "support/temp_folder.h"

namespace orv::test {
namespace {

TEST(RecoveryPointWin32, FailsWithoutTheMonitoringComponentAndLeavesNoFolder) {
  TempFolder folder;
  const WString database = folder / ORV_T("changes.db");
  const WString last = folder / ORV_T("points\\1");
  const WString point = folder / ORV_T("points\\2");
  WriteFile(database, "");
  COrvRecoveryPoint recovery;
  EXPECT_FALSE(
      recovery.Create(database.c_str(), last.c_str(), point.c_str(), ORV_T("test"), nullptr));
  EXPECT_EQ(recovery.GetLastErrorCode(), kComponentNotRegistered);
  EXPECT_FALSE(Exists(point));
}

}  // namespace
}  // namespace orv::test
