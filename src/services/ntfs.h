// COrvNtfs: the entries of a volume by their file reference numbers, and the copy of a
// file that no ordinary open can read. This build walks the volume's folder tree and
// reads files with backup semantics (the Windows master-file-table reader is a later
// step); file reference numbers are the file indexes the file system reports.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/text.h"
#include "vantrel/vantrel.h"

namespace orv {

struct NtfsEntry {
  WString path;  // relative to the volume root, without leading backslash
  uint64_t fileReference = 0;
  DWORD attributes = 0;
};

class COrvNtfs {
 public:
  BOOL OpenVolume(WStringView root);
  void CloseVolume();
  // 0 when the file is not on the open volume.
  uint64_t GetFileReferenceNumber(WStringView path);
  // Copies the data of the file with that reference number into `target` (replaced).
  BOOL CopyFileMFT(uint64_t fileReference, WStringView target);

  DWORD GetTotalEntries() const { return static_cast<DWORD>(entries_.size()); }
  BOOL FindFirstEntry(NtfsEntry& entry);
  BOOL FindNextEntry(NtfsEntry& entry);
  DWORD GetLastErrorCode() const { return m_Error.GetError(); }

  COrvError m_Error;

 private:
  WString Full(WStringView relative) const;

  WString root_;
  std::vector<NtfsEntry> entries_;
  size_t cursor_ = 0;
};

}  // namespace orv
