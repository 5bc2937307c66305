#include "archive/lzo_codec.h"

#include <lzo/lzo1x.h>

#include <cstring>
#include <iterator>

#include "archive/format.h"

namespace orv::archive {

bool LzoCodec::Init(int& code) {
  static const int result = lzo_init();
  code = result;
  return result == LZO_E_OK;
}

namespace {

// LZO1X-1 comes with dictionaries of 2,048, 4,096 and 16,384 entries, all writing the
// same LZO1X stream. A block of a few KiB fills a small dictionary as well as the large
// one, and the dictionary is cleared before every block: with one small file per block,
// clearing the large one would cost more than compressing the file.
struct Dictionary {
  uint32_t largestBlock;
  uint32_t workSize;
  int (*compress)(const lzo_bytep, lzo_uint, lzo_bytep, lzo_uintp, lzo_voidp);
};

constexpr Dictionary kDictionaries[] = {
    {4096, LZO1X_1_11_MEM_COMPRESS, lzo1x_1_11_compress},
    {16384, LZO1X_1_12_MEM_COMPRESS, lzo1x_1_12_compress},
    {kBlockSize, LZO1X_1_MEM_COMPRESS, lzo1x_1_compress},
};

const Dictionary& DictionaryFor(uint32_t size) {
  for (const Dictionary& dictionary : kDictionaries)
    if (size <= dictionary.largestBlock) return dictionary;
  return kDictionaries[std::size(kDictionaries) - 1];
}

}  // namespace

LzoCodec::Result LzoCodec::Compress(const uint8_t* in, uint32_t size, uint8_t* out,
                                    uint32_t& outSize, int& code) {
  if (!work_) work_ = std::make_unique<uint8_t[]>(LZO1X_1_MEM_COMPRESS);
  const Dictionary& dictionary = DictionaryFor(size);
  // Cleared before every block so equal content gives equal bytes.
  std::memset(work_.get(), 0, dictionary.workSize);
  lzo_uint produced = 0;
  code = dictionary.compress(in, size, out, &produced, work_.get());
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
