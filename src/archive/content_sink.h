// Where an entry's decompressed content goes: the target file of an extraction, or
// nowhere when an archive is only checked.
#pragma once

#include <cstdint>

#include "vantrel/types.h"

namespace orv::archive {

class ContentSink {
 public:
  virtual ~ContentSink() = default;
  // 0, or the error that ends the entry.
  virtual DWORD Write(const uint8_t* bytes, DWORD size) = 0;
};

// Takes the content and keeps none of it.
class ContentDiscard final : public ContentSink {
 public:
  DWORD Write(const uint8_t*, DWORD) override { return 0; }
};

}  // namespace orv::archive
