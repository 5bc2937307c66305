#include "services/ntfs.h"

#include "platform/dir_search.h"
#include "platform/errors.h"
#include "platform/file.h"

namespace orv {

namespace {

constexpr DWORD kShareAll = os::kShareRead | os::kShareWrite | os::kShareDelete;
constexpr DWORD kCopyChunk = 1024 * 1024;

bool IsSeparator(Char c) { return c == '\\' || c == '/'; }

}  // namespace

WString COrvNtfs::Full(WStringView relative) const {
  while (!relative.empty() && IsSeparator(relative.front())) relative.remove_prefix(1);
  return relative.empty() ? root_ : root_ + ORV_T("\\") + WString(relative);
}

BOOL COrvNtfs::OpenVolume(WStringView root) {
  CloseVolume();
  root_ = root;
  while (!root_.empty() && IsSeparator(root_.back())) root_.pop_back();
  DWORD attributes = 0;
  DWORD error = os::GetAttributes(root_ + ORV_T("\\"), attributes);
  if (error == 0 && !(attributes & os::kAttrDirectory)) error = err::kDirectory;
  if (error != 0) {
    m_Error.SetError(error);
    return FALSE;
  }
  std::vector<WString> pending{WString()};
  while (!pending.empty()) {
    const WString relative = std::move(pending.back());
    pending.pop_back();
    os::DirSearch search;
    os::FindData data;
    for (DWORD found = search.First(Full(relative) + ORV_T("\\*.*"), data); found == 0;
         found = search.Next(data)) {
      if (data.name == ORV_T(".") || data.name == ORV_T("..")) continue;
      NtfsEntry entry;
      entry.path = relative.empty() ? data.name : relative + ORV_T("\\") + data.name;
      entry.attributes = data.attributes;
      os::FileInfo info;
      if (os::GetInfo(Full(entry.path), info) == 0) entry.fileReference = info.fileIndex;
      const bool folder =
          (data.attributes & os::kAttrDirectory) && !(data.attributes & os::kAttrReparsePoint);
      if (folder) pending.push_back(entry.path);
      entries_.push_back(std::move(entry));
    }
  }
  m_Error.SetError(0);
  return TRUE;
}

void COrvNtfs::CloseVolume() {
  root_.clear();
  entries_.clear();
  cursor_ = 0;
}

uint64_t COrvNtfs::GetFileReferenceNumber(WStringView path) {
  os::FileInfo info;
  const DWORD error = root_.empty() ? err::kInvalidHandle : os::GetInfo(Full(path), info);
  m_Error.SetError(error);
  return error == 0 ? info.fileIndex : 0;
}

BOOL COrvNtfs::CopyFileMFT(uint64_t fileReference, WStringView target) {
  const NtfsEntry* found = nullptr;
  for (const NtfsEntry& entry : entries_)
    if (entry.fileReference == fileReference && fileReference != 0 &&
        !(entry.attributes & os::kAttrDirectory)) {
      found = &entry;
      break;
    }
  if (!found) {
    m_Error.SetError(err::kFileNotFound);
    return FALSE;
  }
  os::File source, copy;
  DWORD error = source.Open(Full(found->path), os::kGenericRead, kShareAll,
                            os::Disposition::kOpenExisting, os::kBackupSemantics);
  if (error == 0) error = copy.Open(target, os::kGenericWrite, 0, os::Disposition::kCreateAlways);
  std::vector<uint8_t> buffer(kCopyChunk);
  while (error == 0) {
    DWORD done = 0, written = 0;
    if ((error = source.Read(buffer.data(), kCopyChunk, done)) != 0 || done == 0) break;
    if ((error = copy.Write(buffer.data(), done, written)) == 0 && written != done)
      error = err::kDiskFull;
  }
  m_Error.SetError(error);
  return error == 0;
}

BOOL COrvNtfs::FindFirstEntry(NtfsEntry& entry) {
  cursor_ = 0;
  return FindNextEntry(entry);
}

BOOL COrvNtfs::FindNextEntry(NtfsEntry& entry) {
  if (cursor_ >= entries_.size()) {
    m_Error.SetError(err::kNoMoreFiles);
    return FALSE;
  }
  entry = entries_[cursor_++];
  m_Error.SetError(0);
  return TRUE;
}

}  // namespace orv
