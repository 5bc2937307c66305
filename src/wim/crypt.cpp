#include "wim/crypt.h"

#include <cstring>
#include <new>

namespace orv {

namespace {

constexpr uint32_t kDelta = 0x9E3779B9;
constexpr int kCycles = 32;

// The key is put together when a scrambler is set up, never kept whole in the image
// of the library.
constexpr uint32_t kKeyWord0 = 0x5A3C9E71;
constexpr uint32_t kKeyWord1 = 0xC4172B8D;
constexpr uint32_t kKeyWord2 = 0x0E96F352;
constexpr uint32_t kKeyWord3 = 0x7BD1486A;

uint32_t LoadWord(const BYTE* bytes) {
  return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
         uint32_t(bytes[3]) << 24;
}

void StoreWord(BYTE* bytes, uint32_t word) {
  for (int i = 0; i < 4; ++i) bytes[i] = BYTE(word >> (8 * i));
}

void EncipherBlock(uint32_t& y, uint32_t& z, const uint32_t k[4]) {
  uint32_t sum = 0;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    sum += kDelta;
    y += ((z << 4) + k[0]) ^ (z + sum) ^ ((z >> 5) + k[1]);
    z += ((y << 4) + k[2]) ^ (y + sum) ^ ((y >> 5) + k[3]);
  }
}

void DecipherBlock(uint32_t& y, uint32_t& z, const uint32_t k[4]) {
  uint32_t sum = kDelta * kCycles;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    z -= ((y << 4) + k[2]) ^ (y + sum) ^ ((y >> 5) + k[3]);
    y -= ((z << 4) + k[0]) ^ (z + sum) ^ ((z >> 5) + k[1]);
    sum -= kDelta;
  }
}

}  // namespace

void COrvCrypt::SetKey(const uint32_t key[4]) { std::memcpy(key_, key, sizeof key_); }

BOOL COrvCrypt::Encrypt(const void* input, std::unique_ptr<BYTE[]>* output, DWORD* length) const {
  return Run(input, output, length, true);
}

BOOL COrvCrypt::Decrypt(const void* input, std::unique_ptr<BYTE[]>* output, DWORD* length) const {
  return Run(input, output, length, false);
}

BOOL COrvCrypt::Run(const void* input, std::unique_ptr<BYTE[]>* output, DWORD* length,
                    bool encipher) const {
  if (!enabled_ || input == nullptr || output == nullptr || length == nullptr) return FALSE;
  // Words are taken in pairs; 32 bytes are eight words, already an even count.
  constexpr DWORD kWords = (kRecordSize / 4 + 1) & ~DWORD(1);
  std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[kWords * 4]());
  if (!buffer) return FALSE;
  std::memcpy(buffer.get(), input, kRecordSize);
  for (DWORD word = 0; word < kWords; word += 2) {
    BYTE* block = buffer.get() + word * 4;
    uint32_t y = LoadWord(block), z = LoadWord(block + 4);
    if (encipher)
      EncipherBlock(y, z, key_);
    else
      DecipherBlock(y, z, key_);
    StoreWord(block, y);
    StoreWord(block + 4, z);
  }
  *output = std::move(buffer);
  *length = kRecordSize;
  return TRUE;
}

void SetUpLibraryCrypt(COrvCrypt& crypt) {
  const uint32_t key[4] = {kKeyWord0, kKeyWord1, kKeyWord2, kKeyWord3};
  crypt.SetKey(key);
  crypt.Enable(TRUE);
}

}  // namespace orv
