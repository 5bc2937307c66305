// Storing one path of a recovery point: its parent folders first, then the path itself
// from the snapshot, else from the live volume, else (for a file another process holds)
// through the volume's file table; an encrypted file as its raw stream. Paths never lead
// through a link: a change below one is refused, so nothing outside the volume is read.

#include "archive/source_metadata.h"
#include "image/access_repair.h"
#include "image/readable_descriptor.h"
#include "platform/dir_search.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "recovery/recovery_run.h"
#include "recovery/system_drive_path.h"
#include "services/encrypted_files.h"
#include "services/log.h"
#include "services/ntfs.h"
#include "services/pseudo_random.h"
#include "services/security.h"

namespace orv {

namespace {

// Full standard rights for the Administrators, on an entry taken over to be read.
constexpr DWORD kAdministratorsAccess = 0x1F0000;

bool IsGone(DWORD error) { return error == err::kFileNotFound || error == err::kPathNotFound; }

bool IsFolder(DWORD attributes) { return (attributes & os::kAttrDirectory) != 0; }

}  // namespace

WString RecoveryRun::TemporaryFile(const WString& relative) const {
  const WString name = relative.substr(relative.rfind('\\') + 1);
  return Format(ORV_T("%s\\%s.%u"), request_.newFolder, name, PseudoRandom());
}

RecoveryRun::Outcome RecoveryRun::StorePath(const WString& relative) {
  COrvLog& log = COrvLog::GetInstance();
  const Outcome parents = StoreParents(relative);
  if (parents.stored != Stored::kAdded) return parents;
  if (stored_.count(COrvString(relative.c_str())) != 0) return {};

  os::FileInfo info;
  if (const DWORD error = os::GetInfo(LivePath(relative), info)) {
    if (IsGone(error)) return {Stored::kGone, error};
    log.AddError(ORV_T("GetFileAttributesEx(%s) failed - %u"), LivePath(relative), error);
    return {Stored::kFailed, error};
  }
  if ((info.attributes & os::kAttrEncrypted) && !IsFolder(info.attributes))
    return StoreEncrypted(relative, info);

  Outcome outcome;
  if (!snapshotRoot_.empty()) {
    outcome = StoreFromVolume(snapshotRoot_ + relative, relative, nullptr);
    if (outcome.stored == Stored::kAdded) return outcome;
    if (outcome.error != err::kAccessDenied && !IsGone(outcome.error)) return outcome;
  }
  outcome = StoreFromVolume(LivePath(relative), relative, nullptr);
  if (outcome.error == err::kSharingViolation) outcome = StoreThroughTable(relative, info);
  if (outcome.error == err::kAccessDenied) {
    log.AddWarning(ORV_T("Cannot Add %s - Access denied"), relative);
    return {Stored::kDenied, outcome.error};
  }
  if (IsGone(outcome.error)) return {Stored::kGone, outcome.error};
  return outcome;
}

// The folders on the way, from the top down, each once, from the live volume. A folder
// that is a link ends the way: what lies behind it is not on this volume.
RecoveryRun::Outcome RecoveryRun::StoreParents(const WString& relative) {
  for (size_t slash = relative.find('\\', 1); slash != WString::npos;
       slash = relative.find('\\', slash + 1)) {
    const WString parent = relative.substr(0, slash);
    os::FileInfo info;
    if (const DWORD error = os::GetInfo(LivePath(parent), info)) return {Stored::kGone, error};
    if (info.attributes & os::kAttrReparsePoint) {
      COrvLog::GetInstance().AddError(ORV_T("%s lies behind the link %s - refused"), relative,
                                      parent);
      return {Stored::kRefused, err::kInvalidName};
    }
    if (!IsFolder(info.attributes)) return {Stored::kGone, err::kPathNotFound};
    if (stored_.count(COrvString(parent.c_str())) != 0) continue;
    const Outcome outcome = StoreFromVolume(LivePath(parent), parent, nullptr);
    if (outcome.stored != Stored::kAdded)
      return IsGone(outcome.error) ? Outcome{Stored::kGone, outcome.error} : outcome;
  }
  return {};
}

// An encrypted file is never read from the snapshot: its raw stream is exported from the
// live volume. An export that fails is a failure of the entry, never a deletion.
RecoveryRun::Outcome RecoveryRun::StoreEncrypted(const WString& relative,
                                                 const os::FileInfo& info) {
  COrvLog& log = COrvLog::GetInstance();
  const WString copy = TemporaryFile(relative);
  const DWORD error = ExportEncryptedStream(LivePath(relative), copy);
  Outcome outcome;
  if (error != 0) {
    os::FileInfo now;
    if (IsGone(os::GetInfo(LivePath(relative), now))) {
      outcome = {Stored::kGone, error};
    } else {
      log.AddError(ORV_T("Cannot export the raw stream of the encrypted file %s - %u"), relative,
                   error);
      outcome = {Stored::kFailed, error};
    }
  } else {
    const ORVFILEATTRIBUTEDATA attributes =
        archive::AttributeBlock(info.attributes, info.times, info.size);
    outcome = StoreFromVolume(copy, relative, &attributes);
    if (outcome.stored == Stored::kFailed && IsGone(outcome.error))
      outcome.error = err::kCantAccessFile;
  }
  os::DeleteFile(copy);
  return outcome;
}

// One path added to the archive from `fullPath` under the entry name of `relative`, with
// its security descriptor; an entry the process may not read is taken over for the
// Administrators and given back afterwards.
RecoveryRun::Outcome RecoveryRun::StoreFromVolume(const WString& fullPath, const WString& relative,
                                                  const ORVFILEATTRIBUTEDATA* attributes) {
  COrvLog& log = COrvLog::GetInstance();
  const COrvString key(relative.c_str());
  if (stored_.count(key) != 0) return {};
  std::unique_ptr<COrvSecurity> keeper;
  EntryDescriptor descriptor;
  if (os::GetSecurity(fullPath, os::kAllSecurity, descriptor.bytes) != 0) {
    keeper = std::make_unique<COrvSecurity>(fullPath.c_str());
    descriptor = ReadEntryDescriptor(fullPath);
    os::FileInfo info;
    const bool encrypted =
        os::GetInfo(fullPath, info) == 0 && (info.attributes & os::kAttrEncrypted);
    if (descriptor.ownershipTaken && (IsFolder(info.attributes) || !encrypted))
      keeper->DACL_Administrators_AddAllowedAccess(kAdministratorsAccess, 0);
  }
  const WString name = EntryName(relative);
  const void* sd = descriptor.bytes.empty() ? nullptr : descriptor.bytes.data();
  Outcome outcome;
  if (!archive_->AddFile(fullPath.c_str(), name.c_str(), sd,
                         static_cast<DWORD>(descriptor.bytes.size()), attributes)) {
    outcome = {Stored::kFailed, archive_->GetLastErrorCode()};
    if (!IsGone(outcome.error))
      log.AddError(ORV_T("IOrvMorlet::AddFile(%s,%s) failed - %u"), fullPath, name, outcome.error);
  } else {
    log.AddInfo(ORV_T("%s added"), relative);
    stored_.insert(key);
    ++files_;
    os::FileInfo info;
    if (attributes != nullptr)
      bytes_ += (uint64_t{attributes->nFileSizeHigh} << 32) | attributes->nFileSizeLow;
    else if (os::GetInfo(fullPath, info) == 0 && !IsFolder(info.attributes))
      bytes_ += info.size;
  }
  if (keeper && descriptor.ownershipTaken) keeper->RestoreOriginalSecurityDescriptor();
  return outcome;
}

// A file another process holds without sharing, copied out through the volume's file
// table and stored from the copy.
RecoveryRun::Outcome RecoveryRun::StoreThroughTable(const WString& relative,
                                                    const os::FileInfo& info) {
  COrvLog& log = COrvLog::GetInstance();
  const WString root = request_.systemDrive + ORV_T("\\");
  const WString copy = TemporaryFile(relative);
  const TableCopy copied = CopyThroughTable(root, LivePath(relative), copy);
  Outcome outcome;
  if (copied.failedAt == TableCopy::Step::kOpenVolume) {
    log.AddError(ORV_T("COrvNtfs::OpenVolume(%s) failed - %u"), root, copied.error);
    outcome = {Stored::kFailed, err::kSharingViolation};
  } else if (copied.failedAt == TableCopy::Step::kCopy) {
    log.AddError(ORV_T("COrvNtfs::CopyFileMFT(%I64u,%s) failed - %u"), copied.reference, copy,
                 copied.error);
    outcome = {Stored::kFailed, err::kSharingViolation};
  } else {
    const ORVFILEATTRIBUTEDATA attributes =
        archive::AttributeBlock(info.attributes, info.times, info.size);
    log.AddInfo(ORV_T("%s copied out through the file table"), relative);
    outcome = StoreFromVolume(copy, relative, &attributes);
  }
  os::DeleteFile(copy);
  return outcome;
}

// Everything below a new folder, as found on the live volume now; links are stored as
// links and not entered.
RecoveryRun::Outcome RecoveryRun::StoreFolderContent(const WString& relative) {
  std::vector<WString> pending{relative};
  while (!pending.empty()) {
    const WString folder = pending.back();
    pending.pop_back();
    std::vector<os::FindData> entries;
    if (!ListFolder(folder, entries)) continue;
    for (const os::FindData& entry : entries) {
      const WString below = folder + ORV_T("\\") + entry.name;
      const Outcome outcome = StorePath(below);
      if (outcome.stored == Stored::kFailed) return outcome;
      if (request_.callback && !request_.callback(ORV_MSG_CANCEL_POLL, 0, 0, 0))
        return {Stored::kFailed, ORV_ERROR_CANCELLED};
      if (outcome.stored == Stored::kAdded && IsFolder(entry.attributes) &&
          !(entry.attributes & os::kAttrReparsePoint))
        pending.push_back(below);
    }
  }
  return {};
}

// The entries of a folder of the live volume; a folder denied to the process is taken
// over for the listing and given back right after it.
bool RecoveryRun::ListFolder(const WString& relative, std::vector<os::FindData>& entries) {
  const WString pattern = LivePath(relative) + ORV_T("\\*.*");
  AccessRepair access;
  for (int attempt = 0; attempt < 2; ++attempt) {
    os::DirSearch search;
    os::FindData data;
    DWORD found = search.First(pattern, data);
    if (found == err::kAccessDenied && attempt == 0) {
      COrvSecurity volume(LivePath(relative).c_str());
      access.Take(LivePath(relative), true, false, volume.IsOnDriveWithPermanentACLs(),
                  ORV_T("Access denied on %s - taken over to be listed"));
      if (access.Taken()) continue;
    }
    for (; found == 0; found = search.Next(data))
      if (data.name != ORV_T(".") && data.name != ORV_T("..")) entries.push_back(data);
    break;
  }
  access.GiveBack();
  return !entries.empty();
}

}  // namespace orv
