#include "recovery/recovery_run.h"

#include "archive/morlet.h"
#include "frame/factory.h"
#include "fsutil/delete_tree.h"
#include "image/catalogue_desc.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/process.h"
#include "recovery/system_drive_path.h"
#include "services/log.h"
#include "services/win64os.h"

namespace orv {

namespace {

// The value that tells the file-monitoring component its database is being read.
constexpr const Char* kJournalKey = ORV_T("SOFTWARE\\Halvern");
constexpr const Char* kJournalValue = ORV_T("JournalReset");
constexpr int kArchiveVersion = 5;

bool Cancelled(ORVDCALLBACK callback, DWORD progress) {
  return callback != nullptr &&
         (!callback(ORV_MSG_PROGRESS, progress, 0, 0) || !callback(ORV_MSG_CANCEL_POLL, 0, 0, 0));
}

// The last-write time of the previous recovery point's BASE.XML as a local file time;
// 0 when there is none, so that every change is taken.
os::FileTime PreviousPointTime(const WString& lastFolder) {
  os::FileInfo info;
  if (os::GetInfo(lastFolder + ORV_T("\\BASE.XML"), info) != 0) return 0;
  return os::FileTimeToLocal(info.times.lastWrite);
}

// "changes.db" -> "changesD.db": the database's companion file.
WString CompanionOf(const WString& database) {
  const size_t slash = database.find_last_of(ORV_T("\\/"));
  const size_t dot = database.rfind('.');
  const size_t cut =
      (dot == WString::npos || (slash != WString::npos && dot < slash)) ? database.size() : dot;
  return database.substr(0, cut) + ORV_T("D.db");
}

}  // namespace

DWORD RecoveryRun::Run() {
  COrvLog& log = COrvLog::GetInstance();
  if (const DWORD error = os::WriteRegistryDword(kJournalKey, kJournalValue, 1))
    log.AddError(ORV_T("Cannot set %s - %u"), WString(kJournalValue), error);
  journalFlagSet_ = true;
  monitor_.WorkStarts();

  if (const DWORD error = monitor_.OpenDatabase(request_.databaseFile)) {
    ClearJournalFlag();
    monitor_.ChangeListTaken();
    log.AddError(ORV_T("IOrvFilesMonitoring::OpenDatabase(%s) failed - %u (%8.8X)"),
                 request_.databaseFile, error, error);
    error_ = error;
  } else {
    error_ = ReadChanges();
    monitor_.CloseDatabase();
    if (error_ == 0 && !AskAboutSpace()) error_ = ORV_ERROR_NO_SPACE_FOR_CHANGES;
    if (error_ != 0) {
      ClearJournalFlag();
      monitor_.ChangeListTaken();
    }
  }
  if (error_ == 0) {
    TakeSnapshot();
    error_ = OpenArchive();
  }
  if (error_ == 0) {
    COrvWin64OS redirection;
    const bool redirected = redirection.IsWOW64Process() && redirection.Activate64BitProcess();
    monitor_.ArchiveStarts();
    if (request_.callback)
      request_.callback(ORV_MSG_START,
                        static_cast<ORVVALUE>(changes_.entries < 0 ? 0 : changes_.entries), 0, 0);
    StoreDatabase();
    StoreChanges();
    StoreDeletions();
    const DWORD finished = Finish();
    if (error_ == 0) error_ = finished;
    if (redirected) redirection.Deactivate64BitProcess();
  }
  if (shadow_) shadow_->Delete();
  shadow_.reset();
  if (error_ != 0) DeleteTree(request_.newFolder);
  return error_;
}

DWORD RecoveryRun::ReadChanges() {
  const os::FileTime since = PreviousPointTime(request_.lastPointFolder);
  os::CalendarTime calendar;
  os::FileTimeToCalendar(since, calendar);
  COrvLog::GetInstance().AddInfo(ORV_T("Get File monitoring after %.4i/%.2i/%.2i %.2i:%.2i:%.2i"),
                                 calendar.year, calendar.month, calendar.day, calendar.hour,
                                 calendar.minute, calendar.second);
  return ReadChangeList(monitor_, since, request_.systemDrive, request_.callback, changes_);
}

bool RecoveryRun::AskAboutSpace() {
  uint64_t bytes = 0;
  for (const auto& [path, change] : changes_.changed) {
    os::FileInfo info;
    if (os::GetInfo(LivePath(path.str()), info) == 0 && !(info.attributes & os::kAttrDirectory))
      bytes += info.size;
  }
  // Without a callback nobody can be asked: the work goes on.
  return request_.callback == nullptr ||
         request_.callback(ORV_MSG_SCAN_AMOUNT, 0,
                           static_cast<ORVVALUE>(static_cast<DWORD>(bytes / 1024)), 0);
}

// A snapshot of the system drive where one can be made; else the live volume is read
// (files that others hold locked then come through the volume's file table).
void RecoveryRun::TakeSnapshot() {
  COrvLog& log = COrvLog::GetInstance();
  monitor_.SnapshotStarts();
  const WString root = request_.systemDrive + ORV_T("\\");
  DWORD error = CreateShadowCopyComponent(shadow_);
  if (error != 0) {
    log.AddError(ORV_T("CoCreateInstance(CLSID_OrvVolumeShadowCopy) failed - %u (%8.8X)"), error,
                 error);
  } else if ((error = shadow_->Start(root, snapshotRoot_)) != 0) {
    log.AddError(ORV_T("IOrvVolumeShadowCopy::Start(%s) failed - %u (%8.8X)"), root, error, error);
  }
  if (error != 0) {
    shadow_.reset();
    snapshotRoot_.clear();
    log.AddWarning(ORV_T("No snapshot of %s: the files are read from the live volume"), root);
  }
  while (!snapshotRoot_.empty() && (snapshotRoot_.back() == '\\' || snapshotRoot_.back() == '/'))
    snapshotRoot_.pop_back();
  ClearJournalFlag();
  monitor_.ChangeListTaken();
  log.AddInfo(ORV_T("Shadow Copy Volume: %s"), snapshotRoot_);
}

DWORD RecoveryRun::OpenArchive() {
  archive_.reset(CreateObject<COrvMorlet>());
  if (!archive_) return err::kNotEnoughMemory;
  const WString path = request_.newFolder + ORV_T("\\BASE.INP");
  if (!archive_->Open(path.c_str(), 0, kArchiveVersion)) {
    const DWORD error = archive_->GetLastErrorCode();
    COrvLog::GetInstance().AddError(ORV_T("IOrvMorlet::Open(%s) failed - %u"), path, error);
    archive_.reset();
    return error;
  }
  return 0;
}

// The database and its companion, as they are now: the next recovery point starts from
// them when this one is restored.
void RecoveryRun::StoreDatabase() {
  for (const WString& file : {request_.databaseFile, CompanionOf(request_.databaseFile)}) {
    os::FileInfo info;
    if (os::GetInfo(file, info) != 0) continue;
    const std::optional<WString> relative = PathOnSystemDrive(file, request_.systemDrive);
    const Outcome outcome =
        relative
            ? StorePath(*relative)
            : StoreFromVolume(file, ORV_T("\\") + file.substr(file.find_last_of(ORV_T("\\/")) + 1),
                              nullptr);
    if (outcome.stored == Stored::kFailed) {
      error_ = outcome.error;
      return;
    }
  }
}

void RecoveryRun::StoreChanges() {
  COrvLog& log = COrvLog::GetInstance();
  for (const auto& [key, change] : changes_.changed) {
    if (error_ != 0) return;
    const WString& relative = key.str();
    if ((change.attributes & os::kAttrDirectory) && !(change.attributes & os::kAttrReparsePoint) &&
        change.kind == kChangeCreated) {
      log.AddInfo(ORV_T("Backup whole content of %s"), relative);
      const Outcome content = StoreFolderContent(relative);
      if (content.stored == Stored::kFailed) error_ = content.error;
    }
    if (error_ == 0) {
      const Outcome outcome = StorePath(relative);
      if (outcome.stored == Stored::kGone) {
        log.AddInfo(ORV_T("%s in DEL.XML"), relative);
        // A path the list also reports deleted is listed once, with the deletions.
        if (changes_.deleted.find(key) == changes_.deleted.end())
          RecordDeleted(relative, change.attributes);
      } else if (outcome.stored == Stored::kFailed) {
        error_ = outcome.error;
      }
    }
    if (error_ == 0 && !CountEntryAndPoll()) error_ = ORV_ERROR_CANCELLED;
  }
}

void RecoveryRun::StoreDeletions() {
  for (const auto& [key, change] : changes_.deleted) {
    if (error_ != 0) return;
    RecordDeleted(key.str(), change.attributes);
    if (!CountEntryAndPoll()) error_ = ORV_ERROR_CANCELLED;
  }
}

DWORD RecoveryRun::Finish() {
  DWORD error = deletions_.Save();
  if (!archive_->Close() && error == 0) error = archive_->GetLastErrorCode();
  archive_.reset();
  if (shadow_) shadow_->Delete();
  shadow_.reset();
  if (error_ != 0 || error != 0) return error;

  os::CalendarTime finished;
  os::FileTimeToCalendar(os::FileTimeToLocal(os::CurrentFileTime()), finished);
  CatalogueDocument base =
      OpenCatalogueDocument(request_.newFolder + ORV_T("\\BASE.XML"), ORV_T("image"));
  error = FinishRecoveryPointCatalogue(base, bytes_, files_, finished, {ORV_T("BASE.INP")});
  if (error != 0) return error;
  DescriptionFile description;
  error =
      description.Open(request_.newFolder + ORV_T("\\DESC.TXT"), DescriptionKind::kRecoveryPoint);
  if (error == 0) error = description.Write(request_.description, finished, files_, bytes_);
  const DWORD closed = description.Close();
  return error != 0 ? error : closed;
}

void RecoveryRun::ClearJournalFlag() {
  if (!journalFlagSet_) return;
  journalFlagSet_ = false;
  const DWORD error = os::DeleteRegistryValue(kJournalKey, kJournalValue);
  if (error != 0 && error != err::kFileNotFound)
    COrvLog::GetInstance().AddError(ORV_T("Cannot delete %s - %u"), WString(kJournalValue), error);
}

bool RecoveryRun::CountEntryAndPoll() {
  ++entries_;
  return !Cancelled(request_.callback, entries_);
}

void RecoveryRun::RecordDeleted(const WString& relative, DWORD attributes) {
  ListDeletedPath(deletions_, relative, (attributes & os::kAttrDirectory) != 0);
}

}  // namespace orv
