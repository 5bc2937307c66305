// Small writes gathered into large ones. An archive of many small files would otherwise
// pay a system call, and an update of the file's times, for every entry record and every
// block. Waiting bytes go out when the buffer fills and at Flush, which the archive calls
// before it reads or seeks the file and when it closes it.
//
// A write-out that fails is remembered: every later Write and Flush returns the same
// error, so the archive's close reports it even when the entries whose bytes were lost
// had already been added.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/file.h"

namespace orv::archive {

class WriteBehind {
 public:
  // Bytes kept at most before they go out; larger writes go out at once.
  static constexpr size_t kCapacity = 1 << 20;

  // Appends after the waiting bytes, at the file pointer of `file`.
  DWORD Write(os::File& file, const void* bytes, size_t size);
  DWORD Flush(os::File& file);
  size_t Pending() const { return pending_.size(); }
  // The failed write-out that every call now reports; 0 when none.
  DWORD Failure() const { return failure_; }
  // Forgets the waiting bytes past the first `keep`, never written.
  void Truncate(size_t keep);
  // Forgets the waiting bytes and any failure (the file is closed or abandoned).
  void Reset();

 private:
  DWORD WriteOut(os::File& file, const void* bytes, size_t size);

  std::vector<uint8_t> pending_;
  DWORD failure_ = 0;
};

}  // namespace orv::archive
