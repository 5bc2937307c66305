#include "archive/lzo_codec.h"

#include <lzo/lzo1x.h>

#include <cstring>

#include "archive/format.h"

namespace orv::archive {

bool LzoCodec::Init(int& code) {
  static const int result = lzo_init();
  code = result;
  return result == LZO_E_OK;
}

LzoCodec::Result LzoCodec::Compress(const uint8_t* in, uint32_t size, uint8_t* out,
                                    uint32_t& outSize, int& code) {
  if (!work_) work_ = std::make_unique<uint8_t[]>(LZO1X_1_MEM_COMPRESS);
  // Cleared before every block so equal content gives equal bytes.
  std::memset(work_.get(), 0, LZO1X_1_MEM_COMPRESS);
  lzo_uint produced = 0;
  code = lzo1x_1_compress(in, size, out, &produced, work_.get());
  outSize = static_cast<uint32_t>(produced);
  return code == LZO_E_OK ? Result::kOk : Result::kFailed;
}

LzoCodec::Result LzoCodec::Decompress(const uint8_t* in, uint32_t size, uint8_t* out,
                                      uint32_t& outSize, int& code) {
  lzo_uint produced = kBlockSize;
  code = lzo1x_decompress_safe(in, size, out, &produced, nullptr);
  outSize = static_cast<uint32_t>(produced);
  if (code == LZO_E_OUTPUT_OVERRUN) return Result::kTooBig;
  return code == LZO_E_OK ? Result::kOk : Result::kFailed;
}

}  // namespace orv::archive
