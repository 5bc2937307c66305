#include "archive/content_writer.h"

#include <cstring>
#include <vector>

#include "platform/errors.h"
#include "platform/whole_io.h"

namespace orv::archive {

namespace {

bool AllZero(const uint8_t* bytes, DWORD size) {
  static constexpr uint8_t kZeros[4096] = {};
  for (DWORD at = 0; at < size; at += sizeof kZeros) {
    const DWORD part = size - at < sizeof kZeros ? size - at : DWORD{sizeof kZeros};
    if (std::memcmp(bytes + at, kZeros, part) != 0) return false;
  }
  return true;
}

}  // namespace

ContentWriter::ContentWriter(os::File& target, bool sparse) : target_(target), sparse_(sparse) {
  if (sparse_) target_.SetSparse();  // without the mark, the holes still save the writes
}

DWORD ContentWriter::Write(const uint8_t* bytes, DWORD size) {
  if (size == 0) return err::kSuccess;
  endsInHole_ = sparse_ && AllZero(bytes, size);
  const DWORD error = endsInHole_ ? target_.Seek(size, os::SeekFrom::kCurrent)
                                  : os::WriteAll(target_, bytes, size);
  if (!error) written_ += size;
  return error;
}

DWORD ContentWriter::CopyFrom(os::File& source) {
  constexpr DWORD kPortion = 1 << 20;
  std::vector<uint8_t> buffer(kPortion);
  for (;;) {
    DWORD done = 0;
    if (DWORD error = source.Read(buffer.data(), kPortion, done)) return error;
    if (done == 0) return err::kSuccess;
    if (DWORD error = Write(buffer.data(), done)) return error;
  }
}

DWORD ContentWriter::Finish() { return endsInHole_ ? target_.SetEnd() : err::kSuccess; }

}  // namespace orv::archive
