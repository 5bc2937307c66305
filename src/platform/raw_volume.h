// The raw sectors of a mounted volume, for readers that parse the file system
// themselves, and the file reference number the file system gives an entry.
#pragma once

#include <cstdint>

#include "platform/text.h"

namespace orv::os {

// A volume opened for reading its sectors. Windows opens the volume device of a drive
// root ("C:\" opens "\\.\C:", sharing reads and writes with the running system); Linux
// opens the block device or image file mounted at the folder the root names. Move-only;
// closes itself.
class RawVolume {
 public:
  RawVolume() = default;
  ~RawVolume();
  RawVolume(RawVolume&& other) noexcept;
  RawVolume& operator=(RawVolume&& other) noexcept;
  RawVolume(const RawVolume&) = delete;
  RawVolume& operator=(const RawVolume&) = delete;

  // 3 when the root names no mounted volume; 5 when the process may not read it.
  DWORD Open(WStringView root);
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }
  // Reads exactly `size` bytes at `offset`; 38 when they run past the volume's end.
  DWORD Read(uint64_t offset, void* buffer, DWORD size);
  // The volume's length in bytes.
  DWORD Size(uint64_t& size) const;

 private:
  void* handle_ = nullptr;
};

// The file reference number of the entry at `path`: the index the file system keeps it
// under (on NTFS, the master-file-table record number, with its sequence number in the
// top 16 bits where the system gives it). 50 where the file system has no such number.
DWORD GetFileReference(WStringView path, uint64_t& reference);

}  // namespace orv::os
