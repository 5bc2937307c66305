#include "archive/write_behind.h"

#include <new>

#include "platform/errors.h"
#include "platform/whole_io.h"

namespace orv::archive {

DWORD WriteBehind::WriteOut(os::File& file, const void* bytes, size_t size) {
  const auto* from = static_cast<const uint8_t*>(bytes);
  // File writes take a DWORD count: larger runs go out in pieces.
  constexpr size_t kLargestWrite = size_t{1} << 30;
  while (size > 0 && failure_ == 0) {
    const size_t piece = size < kLargestWrite ? size : kLargestWrite;
    failure_ = os::WriteAll(file, from, static_cast<DWORD>(piece));
    from += piece;
    size -= piece;
  }
  return failure_;
}

DWORD WriteBehind::Write(os::File& file, const void* bytes, size_t size) {
  if (failure_) return failure_;
  if (pending_.size() + size > kCapacity) {
    if (DWORD error = Flush(file)) return error;
    // A block of half the buffer or more gains nothing from waiting.
    if (size >= kCapacity / 2) return WriteOut(file, bytes, size);
  }
  try {
    if (pending_.capacity() < kCapacity) pending_.reserve(kCapacity);
  } catch (const std::bad_alloc&) {
    // Without the buffer every write goes out as it comes.
    if (DWORD error = Flush(file)) return error;
    return WriteOut(file, bytes, size);
  }
  const auto* from = static_cast<const uint8_t*>(bytes);
  pending_.insert(pending_.end(), from, from + size);
  return err::kSuccess;
}

DWORD WriteBehind::Flush(os::File& file) {
  if (failure_ || pending_.empty()) return failure_;
  const DWORD error = WriteOut(file, pending_.data(), pending_.size());
  pending_.clear();
  return error;
}

void WriteBehind::Truncate(size_t keep) {
  if (keep < pending_.size()) pending_.resize(keep);
}

void WriteBehind::Reset() {
  pending_.clear();
  failure_ = 0;
}

}  // namespace orv::archive
