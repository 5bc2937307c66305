#include "archive/content_writer.h"

#include <cstring>

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
  return os::ReadToEnd(source, [this](const uint8_t* bytes, DWORD size) { return Write(bytes, size); });
}

DWORD ContentWriter::Finish() { return endsInHole_ ? target_.SetEnd() : err::kSuccess; }

}  // namespace orv::archive
