#include "archive/deflate_stream.h"

#include <cstdlib>

namespace orv::archive {

namespace {

// zlib takes its memory from the library's allocator, not its own defaults.
voidpf Allocate(voidpf, uInt items, uInt size) { return std::calloc(items, size); }
void Free(voidpf, voidpf address) { std::free(address); }

void PrepareStream(z_stream& stream) {
  stream = z_stream{};
  stream.zalloc = Allocate;
  stream.zfree = Free;
  stream.opaque = nullptr;
}

}  // namespace

int DeflateStream::LevelOf(DWORD option) {
  switch (option) {
    case 0xFFFFFFFF: return 0;
    case 0: return 1;
    case 1: return Z_DEFAULT_COMPRESSION;
    case 2: return 9;
    default: return 1;
  }
}

DeflateStream::~DeflateStream() { End(); }

int DeflateStream::Init(int level) {
  if (open_ && level == level_) {
    const int code = deflateReset(&stream_);
    if (code == Z_OK) return code;
  }
  End();
  PrepareStream(stream_);
  const int code = deflateInit(&stream_, level);
  open_ = code == Z_OK;
  level_ = level;
  return code;
}

int DeflateStream::Pass(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                        bool finish, uint32_t& produced, bool& consumed) {
  stream_.next_in = const_cast<Bytef*>(in);
  stream_.avail_in = inSize;
  stream_.next_out = out;
  stream_.avail_out = outSize;
  const int code = deflate(&stream_, finish ? Z_FINISH : Z_SYNC_FLUSH);
  produced = outSize - stream_.avail_out;
  consumed = stream_.avail_in == 0;
  return code;
}

int DeflateStream::End() {
  if (!open_) return Z_OK;
  open_ = false;
  return deflateEnd(&stream_);
}

InflateStream::~InflateStream() {
  if (open_) inflateEnd(&stream_);
}

int InflateStream::Init() {
  if (open_) inflateEnd(&stream_);
  PrepareStream(stream_);
  const int code = inflateInit(&stream_);
  open_ = code == Z_OK;
  return code;
}

int InflateStream::Pass(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                        bool finish, uint32_t& produced, bool& consumed, bool& ended) {
  stream_.next_in = const_cast<Bytef*>(in);
  stream_.avail_in = inSize;
  stream_.next_out = out;
  stream_.avail_out = outSize;
  const int code = inflate(&stream_, finish ? Z_FINISH : Z_SYNC_FLUSH);
  produced = outSize - stream_.avail_out;
  consumed = stream_.avail_in == 0;
  ended = code == Z_STREAM_END;
  return code;
}

}  // namespace orv::archive
