#include "archive/deflate_file.h"
#include "platform/whole_io.h"

#include <algorithm>
#include <vector>

#include "archive/deflate_stream.h"
#include "archive/format.h"
#include "platform/errors.h"
#include "platform/little_endian.h"
#include "services/log.h"

namespace orv::archive {

DWORD DeflateFile(os::File& source, uint64_t size, os::File& out, int level,
                  uint64_t* remainingCapacity, BlockBuffers& buffers, uint64_t& stored) {
  COrvLog& log = COrvLog::GetInstance();
  stored = 0;
  if (size == 0) return err::kSuccess;
  if (!buffers.Ensure()) return err::kNotEnoughMemory;
  DeflateStream& stream = buffers.deflate;
  if (int code = stream.Init(level); code != Z_OK) {
    log.AddError(ORV_T("deflate - %u"), code);
    return err::kInternalError;
  }
  uint64_t remaining = size;
  while (remaining > 0) {
    const DWORD want = static_cast<DWORD>(std::min<uint64_t>(remaining, kBlockSize));
    DWORD done = 0;
    DWORD error = source.Read(buffers.content.get(), want, done);
    if (!error && done != want) error = err::kHandleEof;
    if (error) {
      log.AddError(ORV_T("ReadFile - %u"), error);
      return error;
    }
    remaining -= want;
    uint32_t room = kDeflateOutputSize;
    bool limited = false;
    if (remainingCapacity && *remainingCapacity <= room) {
      room = static_cast<uint32_t>(*remainingCapacity);
      limited = true;
    }
    // A stream ended early for lack of room would lose the rest of the file.
    if (limited && remaining > 0) return err::kDiskFull;
    const bool finish = remaining == 0 || limited;
    uint32_t produced = 0;
    bool consumed = false;
    const int code = stream.Pass(buffers.content.get(), want, buffers.compressed.get() + 4, room,
                                 finish, produced, consumed);
    if (finish && code != Z_STREAM_END) {
      if (limited) return err::kDiskFull;
      log.AddError(ORV_T("deflate (end) - %u"), code);
      return err::kInternalError;
    }
    if (!finish && code != Z_OK) {
      log.AddError(ORV_T("deflate - %u"), code);
      return err::kInternalError;
    }
    if (!consumed) return err::kInternalError;
    uint8_t lengthBytes[4];
    StoreLE<uint32_t>(lengthBytes, produced);
    if ((error = os::WriteAll(out, lengthBytes, 4))) {
      log.AddError(ORV_T("WriteFile - %u"), error);
      return error;
    }
    if ((error = os::WriteAll(out, buffers.compressed.get() + 4, produced))) {
      log.AddError(ORV_T("WriteFile 2 - %u"), error);
      return error;
    }
    stored += uint64_t{produced} + 4;
    if (remainingCapacity) *remainingCapacity -= room;
  }
  // The stream ended (Z_STREAM_END above) and stays open for the next entry.
  return err::kSuccess;
}

DWORD InflateFile(os::File& in, uint64_t stored, uint64_t limit, ContentSink& out, BlockBuffers& buffers,
                  uint64_t& written) {
  written = 0;
  if (stored == 0) return err::kSuccess;
  if (!buffers.Ensure()) return err::kNotEnoughMemory;
  InflateStream stream;
  if (stream.Init() != Z_OK) return err::kInternalError;
  std::vector<uint8_t> block;
  bool ended = false;
  while (stored > 0) {
    if (stored < 4 || ended) return err::kInternalError;
    uint8_t lengthBytes[4];
    DWORD done = 0;
    if (DWORD error = in.Read(lengthBytes, 4, done)) return error;
    if (done != 4) return err::kInternalError;
    const uint32_t length = LoadLE<uint32_t>(lengthBytes);
    if (length > kDeflateOutputSize || uint64_t{length} + 4 > stored) return err::kInternalError;
    block.resize(length);
    if (DWORD error = in.Read(block.data(), length, done)) return error;
    if (done != length) return err::kInternalError;
    stored -= uint64_t{length} + 4;
    uint32_t produced = 0;
    bool consumed = false;
    const int code = stream.Pass(block.data(), length, buffers.content.get(), kBlockSize,
                                 stored == 0, produced, consumed, ended);
    if (code != Z_OK && code != Z_STREAM_END && !(code == Z_BUF_ERROR && length == 0))
      return err::kInternalError;
    // A block gives at most 1 MiB: input left over means it claimed more.
    if (!consumed || produced > limit - written) return err::kInternalError;
    if (DWORD error = out.Write(buffers.content.get(), produced)) return error;
    written += produced;
  }
  return ended ? err::kSuccess : err::kInternalError;
}

}  // namespace orv::archive
