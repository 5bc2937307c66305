// The reparse data of an image entry, byte for byte. wimlib lists a reparse point's data
// only as a stream (its location and size in the WIM file) and extracts it onto a Linux
// folder only as a link, losing the names it held. A WIM writer stores small streams
// such as this one uncompressed, in place: then the bytes are read from the file, behind
// the 8-byte header that the image keeps in the entry itself (tag, length, reserved).
#if !defined(_WIN32)
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/little_endian.h"
#include "wim/engine_state.h"

namespace orv::wim::linux_engine {

namespace {

constexpr size_t kReparseHeaderSize = 8;
constexpr uint32_t kNotInPlace =
    lib::kResourceCompressed | lib::kResourceSpanned | lib::kResourceMissing |
    lib::kResourcePacked;

}  // namespace

bool ReadStoredReparseData(const WimFile& file, DWORD tag, const lib::ResourceEntry& stream,
                           std::vector<uint8_t>& data) {
  lib::WimInfo info{};
  // The sizes come from the WIM file: they are trusted only within the bounds of reparse
  // data and of the file.
  if (!file.backed || file.dirty || Wimlib().get_wim_info(file.wim, &info) != 0 ||
      stream.part_number != info.part_number || (stream.flags & kNotInPlace) != 0 ||
      stream.compressed_size != stream.uncompressed_size ||
      stream.uncompressed_size > os::kMaxReparseDataSize - kReparseHeaderSize)
    return false;
  os::File wim;
  uint64_t size = 0;
  if (wim.Open(os::FromUtf8(file.nativePath), os::kGenericRead, os::kShareRead,
               os::Disposition::kOpenExisting) != err::kSuccess ||
      wim.Size(size) != err::kSuccess || stream.offset > size ||
      stream.uncompressed_size > size - stream.offset)
    return false;
  const auto length = static_cast<DWORD>(stream.uncompressed_size);
  data.clear();
  AppendLE<uint32_t>(data, tag);
  AppendLE<uint16_t>(data, static_cast<uint16_t>(length));
  AppendLE<uint16_t>(data, 0);
  data.resize(kReparseHeaderSize + length);
  DWORD done = 0;
  return wim.Seek(static_cast<int64_t>(stream.offset), os::SeekFrom::kBegin) == err::kSuccess &&
         wim.Read(data.data() + kReparseHeaderSize, length, done) == err::kSuccess &&
         done == length;
}

}  // namespace orv::wim::linux_engine
#endif
