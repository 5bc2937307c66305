#include "archive/lzo_blocks.h"

#include "platform/errors.h"
#include "services/log.h"

namespace orv::archive {

DWORD DecompressBlocks(BlockReader& reader, const EntryRecord& record, BlockBuffers& buffers,
                       ContentSink& target, uint64_t& stored) {
  COrvLog& log = COrvLog::GetInstance();
  const uint64_t size = ContentSizeOf(record.attributes);
  uint64_t written = 0;
  stored = 0;
  int code = 0;
  if (!LzoCodec::Init(code)) return err::kInternalError;
  if (!buffers.Ensure()) return err::kNotEnoughMemory;
  if (DWORD error = reader.Open(record.dataPart, record.dataOffset, ORV_T("First Cannot part#%u - %u")))
    return error;
  std::vector<uint8_t> block;
  for (uint64_t i = 0; i < record.blockCount; ++i) {
    if (DWORD error = reader.ReadBlock(block, kMaxLzoBlock)) return error;
    stored += block.size();
    uint32_t produced = 0;
    const LzoCodec::Result result = LzoCodec::Decompress(
        block.data(), static_cast<uint32_t>(block.size()), buffers.content.get(), produced, code);
    if (result == LzoCodec::Result::kTooBig) {
      log.AddError(ORV_T("Uncompressed Block too big"));
      return err::kInternalError;
    }
    if (result != LzoCodec::Result::kOk) {
      log.AddError(ORV_T("lzo1x_decompress (Block) - %d"), code);
      return err::kInternalError;
    }
    if (produced > size - written) {
      log.AddError(ORV_T("%s decompresses to more than its %I64u bytes"), record.name, size);
      return err::kFileCorrupt;
    }
    written += produced;
    if (DWORD error = target.Write(buffers.content.get(), produced)) {
      log.AddError(ORV_T("WriteFile (Block) - %u"), error);
      return error;
    }
  }
  if (size != kAnySize && written != size) {
    log.AddError(ORV_T("%s decompresses to %I64u of its %I64u bytes"), record.name, written, size);
    return err::kFileCorrupt;
  }
  return err::kSuccess;
}

}  // namespace orv::archive
