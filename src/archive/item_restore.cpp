#include "archive/item_restore.h"

#include <algorithm>

#include "archive/format.h"
#include "archive/target_path.h"
#include "platform/clock.h"
#include "platform/compression.h"
#include "platform/encrypted_file.h"
#include "platform/errors.h"
#include "platform/little_endian.h"
#include "platform/path_parts.h"
#include "platform/process.h"
#include "platform/system.h"
#include "services/log.h"
#include "services/system.h"

namespace orv::archive {

namespace {

os::FileTimes TimesOf(const RestoreItem& item) {
  os::FileTimes times{ToU64(item.attributes.ftCreationTime), ToU64(item.attributes.ftLastAccessTime),
                      ToU64(item.attributes.ftLastWriteTime)};
  if (item.localTimes) {
    for (os::FileTime* time : {&times.creation, &times.lastAccess, &times.lastWrite})
      if (*time) *time = os::LocalToFileTime(*time);
  }
  return times;
}

void ApplyDescriptor(WStringView target, const std::vector<uint8_t>& descriptor) {
  if (descriptor.empty()) return;
  const os::PrivilegeHold privilege(ORV_T("SeSecurityPrivilege"));
  os::SetSecurity(target, os::kAllSecurity, descriptor);  // a failure keeps the default security
}

// Sets times on the item itself (never on what a link points at).
void ApplyTimes(WStringView target, const os::FileTimes& times) {
  os::File item;
  if (item.Open(target, os::kFileWriteAttributes, os::kShareRead | os::kShareWrite,
                os::Disposition::kOpenExisting, os::kBackupSemantics | os::kOpenReparsePoint) == 0)
    item.SetTimes(times);
}

DWORD FailCreate(WStringView target, DWORD error) {
  COrvLog::GetInstance().AddError(ORV_T("Cannot create %s - %u"), WString(target), error);
  return error;
}

// The link target named by a mount point: its drive letter becomes the restore target's,
// and the folder is created when missing, but only below the restore folder.
void PrepareMountTarget(WStringView folder, const std::vector<uint8_t>& data) {
  COrvLog& log = COrvLog::GetInstance();
  if (data.size() < 16) return;
  const DWORD tag = LoadLE<uint32_t>(data.data());
  if (tag != 0xA0000003 && tag != 0x80000000) return;
  const uint16_t printOffset = LoadLE<uint16_t>(data.data() + 12);
  const uint16_t printLength = LoadLE<uint16_t>(data.data() + 14);
  if (size_t{16} + printOffset + printLength > data.size() || printLength < 2) {
    log.AddInfo(ORV_T("No link found"));
    return;
  }
  WString link = DecodeName(data.data() + 16 + printOffset, printLength / 2);
  if (tag == 0x80000000) log.AddInfo(ORV_T("Link to %s"), link);
  if (!folder.empty()) link[0] = folder[0];
  log.AddInfo(ORV_T("Create Link: %s"), link);
  const bool below = link.size() > folder.size() && link.compare(0, folder.size(), folder) == 0 &&
                     link[folder.size()] == '\\' && IsSafeEntryName(link.substr(folder.size() + 1));
  if (below) os::CreateDirectoryTree(link);
}

DWORD RestoreFolder(WStringView folder, WStringView target, const RestoreItem& item,
                    const RestoreSources& sources, bool reparse) {
  COrvLog& log = COrvLog::GetInstance();
  if (!reparse) {
    if (DWORD error = RefuseExistingLink(target)) {
      log.AddError(ORV_T("%s is a link inside the target - %u"), WString(target), error);
      return error;
    }
  }
  DWORD error = os::CreateDirectory(target);
  if (error && error != err::kAlreadyExists) return FailCreate(target, error);
  if (reparse) {
    std::vector<uint8_t> data;
    if ((error = sources.reparse(data))) return error;
    PrepareMountTarget(folder, data);
    if ((error = os::SetReparseData(target, data))) {
      log.AddError(ORV_T("Error: %u"), error);
      return error;
    }
  }
  if (!item.shortName.empty()) os::SetShortName(target, item.shortName);
  ApplyTimes(target, TimesOf(item));
  return err::kSuccess;
}

// Writes the content, or makes the link, under a fresh name beside the target, which it
// then replaces.
DWORD RestoreFile(WStringView target, const RestoreItem& item, const RestoreSources& sources,
                  bool reparse, RestoreTarget& restoreTarget) {
  COrvLog& log = COrvLog::GetInstance();
  bool filled = false;  // a failure after the content is the target's
  const DWORD error = restoreTarget.WriteFile(target, [&](os::File& file, const WString& staging) {
    DWORD error;
    if (!reparse) {
      ContentWriter writer(file, item.attributes.dwFileAttributes & os::kAttrSparse);
      error = sources.content(writer);
      if (!error) error = writer.Finish();
      if (!error) file.SetTimes(TimesOf(item));
    } else {
      file.Close();
      std::vector<uint8_t> data;
      error = sources.reparse(data);
      if (!error && (error = os::SetReparseData(staging, data))) log.AddError(ORV_T("Error: %u"), error);
      if (!error) ApplyTimes(staging, TimesOf(item));
    }
    filled = !error;
    return error;
  });
  if (error) return filled ? FailCreate(target, error) : error;
  if (!item.shortName.empty()) os::SetShortName(target, item.shortName);
  return err::kSuccess;
}

// The folder of staging files in the preinstallation environment: "System Recovery\ENC"
// on the user partition (USERPART), else on the target's own drive.
WString PreinstallationStaging(WStringView target) {
  WString base = os::GetEnvironment(ORV_T("USERPART")).value_or(WString());
  if (base.empty()) base = WString(target.substr(0, std::min<size_t>(2, target.size())));
  while (!base.empty() && base.back() == '\\') base.pop_back();
  return base + ORV_T("\\System Recovery\\ENC");
}

// An encrypted file: its raw stream goes to a staging file that is imported as a new
// encrypted file. When the import cannot be done the staging file stays and the entry fails.
DWORD RestoreEncrypted(WStringView target, const RestoreItem& item, const RestoreSources& sources,
                       RestoreTarget& restoreTarget) {
  COrvLog& log = COrvLog::GetInstance();
  const bool preinstallation = COrvSystem::RunUnderWinPE();
  const WString stagingFolder = preinstallation ? PreinstallationStaging(target) : ParentPath(target);
  if (preinstallation) {
    os::CreateDirectoryTree(stagingFolder);
    restoreTarget.Trust(stagingFolder);
  }
  const WString staging = stagingFolder + ORV_T("\\") + item.tempName;
  {
    os::File file;
    DWORD error = restoreTarget.CreateExclusive(staging, file);
    if (error) return FailCreate(staging, error);
    ContentWriter writer(file, false);
    if ((error = sources.content(writer))) {
      file.Close();
      restoreTarget.Remove(staging);
      return error;
    }
    file.SetTimes(TimesOf(item));
  }
  // The preinstallation environment cannot import: the staging file waits for Windows.
  if (preinstallation) return err::kSuccess;
  const DWORD error = restoreTarget.ImportEncrypted(staging, target);
  log.AddInfo(ORV_T("WriteEncryptedFileRaw returns %u"), error);
  if (error) {
    log.AddError(ORV_T("Encrypted file %s kept as %s - %u"), WString(target), staging, error);
    return error;
  }
  restoreTarget.Remove(staging);
  ApplyTimes(target, TimesOf(item));
  if (!item.shortName.empty()) os::SetShortName(target, item.shortName);
  return err::kSuccess;
}

}  // namespace

DWORD RestoreEntry(WStringView folder, const RestoreItem& item, const RestoreSources& sources,
                   RestoreSession& session) {
  COrvLog& log = COrvLog::GetInstance();
  WString target;
  // The root entry (empty name) is the target folder itself.
  DWORD error = item.name.empty() ? (target.assign(folder), err::kSuccess)
                                  : BuildTargetPath(folder, item.name, kMaxTargetPath, target);
  while (target.size() > 1 && (target.back() == '\\' || target.back() == '/') &&
         target.size() > folder.size())
    target.pop_back();
  if (error) {
    log.AddError(ORV_T("Cannot extract %s: its name leaves the target - %u"), item.name, error);
    return error;
  }
  session.target.Trust(folder);
  bool createdHolding = false;
  if ((error = PrepareParentFolders(folder, target, createdHolding))) {
    log.AddError(ORV_T("%s lies behind a link inside the target - %u"), target, error);
    return error;
  }
  if (createdHolding && !item.holdingShortName.empty())
    os::SetShortName(ParentPath(target), item.holdingShortName);  // kept only with the privilege
  const DWORD attributes = item.attributes.dwFileAttributes;
  const bool directory = attributes & os::kAttrDirectory;
  const bool reparse = attributes & os::kAttrReparsePoint;
  const bool encrypted =
      item.withMetadata && !directory && (attributes & os::kAttrEncrypted) && !item.tempName.empty();
  if (directory)
    error = RestoreFolder(folder, target, item, sources, reparse);
  else if (encrypted)
    error = RestoreEncrypted(target, item, sources, session.target);
  else
    error = RestoreFile(target, item, sources, reparse, session.target);
  if (error) return error;
  if (item.withMetadata && (attributes & os::kAttrCompressed))
    os::SetDefaultCompression(target);  // a volume without compression keeps the attribute only

  std::vector<uint8_t> descriptor;
  if (sources.descriptor && (error = sources.descriptor(descriptor))) return error;
  ApplyDescriptor(target, descriptor);
  // Encryption comes from the import, never from the attribute value.
  DWORD present = 0;
  os::GetAttributes(target, present);
  os::SetAttributes(target, (attributes & ~os::kAttrEncrypted) | (present & os::kAttrEncrypted));

  // Writing this entry touched its folder's times; a folder restored earlier gets them back.
  const auto parent = session.folderTimes.find(ParentPath(target));
  if (parent != session.folderTimes.end()) ApplyTimes(parent->first, parent->second);
  if (directory && !reparse) session.folderTimes[target] = TimesOf(item);
  return err::kSuccess;
}

}  // namespace orv::archive
