// One recovery point being made: the work of COrvRecoveryPoint::Create once its
// arguments are checked, its folder made and the change database's component found.
// The steps are in recovery_run.cpp, the storing of paths in recovery_store.cpp.
#pragma once

#include <memory>
#include <set>
#include <vector>

#include "image/catalogue_xml.h"
#include "platform/dir_search.h"
#include "recovery/change_list.h"
#include "services/file_monitor.h"
#include "services/shadow_copy.h"
#include "services/string.h"
#include "vantrel/vantrel.h"

namespace orv {

struct RecoveryRequest {
  WString databaseFile;
  WString lastPointFolder;
  WString newFolder;
  WString description;
  WString systemDrive;  // "C:"
  ORVDCALLBACK callback = nullptr;
};

class RecoveryRun {
 public:
  RecoveryRun(const RecoveryRequest& request, IOrvFilesMonitoring& monitor,
              CatalogueDocument& deletions)
      : request_(request), monitor_(monitor), deletions_(deletions) {}
  // The journal flag goes on every way out, an exception's too.
  ~RecoveryRun() { ClearJournalFlag(); }
  RecoveryRun(const RecoveryRun&) = delete;
  RecoveryRun& operator=(const RecoveryRun&) = delete;

  // The whole work; 0, or the code the recovery point fails with. On a failure the new
  // folder is gone.
  DWORD Run();

 private:
  // What became of one path.
  enum class Stored { kAdded, kGone, kDenied, kRefused, kFailed };
  struct Outcome {
    Stored stored = Stored::kAdded;
    DWORD error = 0;
  };
  struct ArchiveDeleter {
    void operator()(IOrvMorlet* archive) const { archive->Release(); }
  };

  // recovery_run.cpp
  DWORD ReadChanges();
  bool AskAboutSpace();
  void TakeSnapshot();
  DWORD OpenArchive();
  void StoreDatabase();
  void StoreChanges();
  void StoreDeletions();
  DWORD Finish();
  void ClearJournalFlag();
  bool CountEntryAndPoll();
  void RecordDeleted(const WString& relative, DWORD attributes);

  // recovery_store.cpp
  Outcome StorePath(const WString& relative);
  Outcome StoreParents(const WString& relative);
  Outcome StoreEncrypted(const WString& relative, const os::FileInfo& info);
  Outcome StoreFromVolume(const WString& fullPath, const WString& relative,
                          const ORVFILEATTRIBUTEDATA* attributes);
  Outcome StoreThroughTable(const WString& relative, const os::FileInfo& info);
  Outcome StoreFolderContent(const WString& relative);
  bool ListFolder(const WString& relative, std::vector<os::FindData>& entries);
  WString LivePath(const WString& relative) const { return request_.systemDrive + relative; }
  WString TemporaryFile(const WString& relative) const;

  const RecoveryRequest& request_;
  IOrvFilesMonitoring& monitor_;
  CatalogueDocument& deletions_;
  ChangeList changes_;
  bool journalFlagSet_ = false;
  std::unique_ptr<IOrvShadowCopy> shadow_;
  WString snapshotRoot_;  // the snapshot's device path; empty: the live volume is read
  std::unique_ptr<IOrvMorlet, ArchiveDeleter> archive_;
  std::set<COrvString, COrvStringLess> stored_;
  DWORD entries_ = 0;
  DWORD files_ = 0;
  uint64_t bytes_ = 0;
  DWORD error_ = 0;
};

}  // namespace orv
