// The component on Linux: it answers from the change database that `vantrel monitor`
// fills while the system runs.
#include "services/file_monitor.h"

#include <string>

#include "platform/errors.h"
#include "platform/native_name.h"
#include "services/change_database.h"

namespace orv {

namespace {

class DatabaseMonitoring final : public IOrvFilesMonitoring {
 public:
  // The path is in the library's form ("C:\\ProgramData\\changes.db" through the drive
  // table, or a native path).
  DWORD OpenDatabase(WStringView databasePath) override {
    std::string native;
    if (const DWORD error = os::NativeNameOf(databasePath, native)) return error;
    return ChangeDatabase::Open(native, ChangeDatabase::Mode::kRead, db_);
  }
  void CloseDatabase() override { db_.reset(); }
  DWORD FirstChangeAfter(os::FileTime since, MonitoredChange& change) override {
    if (!db_) return err::kInvalidHandle;
    if (const DWORD error = db_->Start(since)) return error;
    return db_->Next(change);
  }
  DWORD NextChange(MonitoredChange& change) override {
    return db_ ? db_->Next(change) : err::kInvalidHandle;
  }

 private:
  std::unique_ptr<ChangeDatabase> db_;
};

}  // namespace

DWORD CreateFilesMonitoring(std::unique_ptr<IOrvFilesMonitoring>& component) {
  component = std::make_unique<DatabaseMonitoring>();
  return err::kSuccess;
}

}  // namespace orv
