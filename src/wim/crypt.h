// COrvCrypt: the password scrambler. TEA with 32 cycles over 64-bit blocks, under the
// library's fixed 128-bit key, on the 32-byte password records of image folders and
// WIM headers.
#pragma once

#include <cstdint>
#include <memory>

#include "vantrel/types.h"

namespace orv {

class COrvCrypt {
 public:
  // The size of every record the library scrambles: 16 UTF-16 code units.
  static constexpr DWORD kRecordSize = 32;

  COrvCrypt() = default;
  virtual ~COrvCrypt() = default;

  void SetKey(const uint32_t key[4]);
  void Enable(BOOL enabled) { enabled_ = enabled; }

  // Scrambles (unscrambles) the 32 bytes at `input` into a new buffer of 32 bytes.
  // FALSE when disabled or given a null pointer.
  BOOL Encrypt(const void* input, std::unique_ptr<BYTE[]>* output, DWORD* length) const;
  BOOL Decrypt(const void* input, std::unique_ptr<BYTE[]>* output, DWORD* length) const;

 private:
  BOOL Run(const void* input, std::unique_ptr<BYTE[]>* output, DWORD* length, bool encipher) const;

  uint32_t key_[4] = {};
  BOOL enabled_ = FALSE;
};

// Loads the library key into `crypt` and enables it; what every user of the scrambler
// does before its first call.
void SetUpLibraryCrypt(COrvCrypt& crypt);

}  // namespace orv
