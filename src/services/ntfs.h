// COrvNtfs: the entries of an NTFS volume read from its master file table, and the copy
// of a file's data straight from the volume's clusters, for files that no ordinary open
// can read. The volume is read through its raw sectors (services/ntfs_volume.h); on
// Linux that is the device or image file mounted at the volume's folder.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/text.h"
#include "services/ntfs_paths.h"
#include "services/ntfs_volume.h"
#include "vantrel/vantrel.h"

namespace orv {

struct NtfsEntry {
  WString path;  // relative to the volume root, without leading backslash; "." for the root
  uint64_t fileReference = 0;
  DWORD attributes = 0;
};

class COrvNtfs {
 public:
  // `root` is the volume's root: a drive root, or on Linux the folder it is mounted on.
  BOOL OpenVolume(WStringView root);
  // The volume whose bytes `source` gives (an image rather than a mounted volume); paths
  // then have no root, so GetFileReferenceNumber fails.
  BOOL OpenVolume(std::unique_ptr<ntfs::SectorSource> source);
  void CloseVolume();
  // The file reference number of the file at `path` (relative to the open volume's
  // root, or absolute); 0 when there is none. A file that cannot be opened at all is
  // looked up in the table by name.
  uint64_t GetFileReferenceNumber(WStringView path);
  // Copies the unnamed data of the file with that reference number into `target`
  // (replaced). Sparse stretches and bytes past the valid length are written as zeros;
  // compressed data is decompressed (50 for compression units over 1 MiB).
  BOOL CopyFileMFT(uint64_t fileReference, WStringView target);

  // The records of the master file table, in use or not.
  DWORD GetTotalEntries() const { return static_cast<DWORD>(volume_.RecordCount()); }
  // Entries in record order: records in use that are reachable from the root. Damaged
  // records are passed over; 18 after the last.
  BOOL FindFirstEntry(NtfsEntry& entry);
  BOOL FindNextEntry(NtfsEntry& entry);
  DWORD GetLastErrorCode() const { return m_Error.GetError(); }

  COrvError m_Error;

 private:
  BOOL Fail(DWORD error);
  DWORD ReferenceThroughTable(const WString& path, uint64_t& reference);
  DWORD CopyData(const ntfs::FileData& data, WStringView target);

  WString root_;
  ntfs::Volume volume_;
  ntfs::PathBuilder paths_;
  uint64_t cursor_ = 0;
};

// How a copy through the master file table went, for the caller's log lines.
struct TableCopy {
  enum class Step { kDone, kOpenVolume, kCopy };
  Step failedAt = Step::kDone;
  DWORD error = 0;
  uint64_t reference = 0;  // the file's reference number, once the volume was open
};
// Copies the data of the file at `path` on the volume whose root is `root` into
// `target`, straight from the volume's clusters: the last way to read a file that no
// open can read (one another process holds without sharing).
TableCopy CopyThroughTable(WStringView root, WStringView path, WStringView target);

}  // namespace orv
