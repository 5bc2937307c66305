#include "archive/source_metadata.h"

#include "archive/format.h"
#include "platform/errors.h"
#include "platform/little_endian.h"
#include "services/log.h"

namespace orv::archive {

namespace {

constexpr DWORD kNoSaclSecurity = os::kOwnerSecurity | os::kGroupSecurity | os::kDaclSecurity;
constexpr DWORD kMicrosoftBit = 0x80000000;
constexpr DWORD kNameSurrogateBit = 0x20000000;

}  // namespace

ORVFILEATTRIBUTEDATA AttributeBlock(DWORD attributes, const os::FileTimes& times, uint64_t size) {
  ORVFILEATTRIBUTEDATA block{};
  block.dwFileAttributes = attributes;
  block.ftCreationTime = ToFileTime(times.creation);
  block.ftLastAccessTime = ToFileTime(times.lastAccess);
  block.ftLastWriteTime = ToFileTime(times.lastWrite);
  block.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  block.nFileSizeLow = static_cast<DWORD>(size);
  return block;
}

std::vector<uint8_t> SourceDescriptor(WStringView path) {
  std::vector<uint8_t> descriptor;
  if (os::GetSecurity(path, os::kAllSecurity, descriptor) != 0 &&
      os::GetSecurity(path, kNoSaclSecurity, descriptor) != 0)
    descriptor.clear();
  return descriptor;
}

ORVFILEATTRIBUTEDATA AttributesOf(const os::FileInfo& info) {
  return AttributeBlock(info.attributes, info.times, info.size);
}

void RecordReadSize(ORVFILEATTRIBUTEDATA& attributes, uint64_t size) {
  if (ContentSizeOf(attributes) == kAnySize) return;
  attributes.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  attributes.nFileSizeLow = static_cast<DWORD>(size);
}

DWORD SourceAttributes(WStringView path, const ORVFILEATTRIBUTEDATA* given,
                       ORVFILEATTRIBUTEDATA& attributes) {
  if (given) {
    attributes = *given;
    return err::kSuccess;
  }
  os::FileInfo info;
  if (DWORD error = os::GetInfo(path, info)) return error;
  attributes = AttributesOf(info);
  return err::kSuccess;
}

WString SourceShortName(WStringView path, const os::File* file) {
  WString name;
  const DWORD error = file ? os::GetShortName(*file, path, name) : os::GetShortName(path, name);
  if (error != 0) name.clear();
  return name;
}

uint64_t FileIdOf(const os::File& file) {
  os::FileInfo info;
  return file.GetInfo(info) == 0 ? info.fileIndex : 0;
}

uint64_t FolderFileId(WStringView path) {
  os::File folder;
  if (folder.Open(path, os::kGenericRead, os::kShareRead | os::kShareWrite,
                  os::Disposition::kOpenExisting, os::kBackupSemantics) != 0)
    return 0;
  return FileIdOf(folder);
}

DWORD CaptureReparse(WStringView path, bool wantFileId, std::vector<uint8_t>& record,
                     uint64_t& fileId, ReparseStorage& storage) {
  COrvLog& log = COrvLog::GetInstance();
  log.AddInfo(ORV_T("%s is a reparse point"), WString(path));
  os::File link;
  if (DWORD error = link.Open(path, 0, os::kShareRead | os::kShareWrite,
                              os::Disposition::kOpenExisting,
                              os::kBackupSemantics | os::kOpenReparsePoint)) {
    log.AddError(ORV_T("CreateFile failed - %u (%8.8X)"), error, error);
    return error;
  }
  if (wantFileId) fileId = FileIdOf(link);
  if (DWORD error = os::GetReparseData(path, record)) {
    log.AddError(ORV_T("DeviceIoControl failed - %u (%8.8X)"), error, error);
    return error;
  }
  if (record.size() < 8 || record.size() > kReparseBufferSize) return err::kInvalidReparseData;
  const DWORD tag = LoadLE<uint32_t>(record.data());
  if (!(tag & kMicrosoftBit)) {
    log.AddWarning(ORV_T("ReparsePoint is not from Microsoft"));
    storage = ReparseStorage::kContent;
  } else if (!(tag & kNameSurrogateBit)) {
    // Deduplicated or system-compressed files: the content lives behind the tag.
    log.AddInfo(ORV_T("Reparse tag %8.8X is no link - %s is stored with its content"), tag,
                WString(path));
    storage = ReparseStorage::kContent;
  } else {
    storage = ReparseStorage::kRecord;
  }
  return err::kSuccess;
}

}  // namespace orv::archive
