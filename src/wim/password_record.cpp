#include "wim/password_record.h"

#include <algorithm>
#include <cstring>

#include "wim/crypt.h"

namespace orv {

bool ScramblePassword(WStringView password, PasswordRecord& record) {
  PasswordRecord plain{};
  const size_t count = std::min<size_t>(password.size(), 16);
  for (size_t i = 0; i < count; ++i) {
    plain[2 * i] = BYTE(password[i]);
    plain[2 * i + 1] = BYTE(password[i] >> 8);
  }
  COrvCrypt crypt;
  SetUpLibraryCrypt(crypt);
  std::unique_ptr<BYTE[]> scrambled;
  DWORD length = 0;
  if (!crypt.Encrypt(plain.data(), &scrambled, &length)) return false;
  std::memcpy(record.data(), scrambled.get(), record.size());
  return true;
}

bool UnscramblePassword(const PasswordRecord& record, Char (&password)[16]) {
  COrvCrypt crypt;
  SetUpLibraryCrypt(crypt);
  std::unique_ptr<BYTE[]> plain;
  DWORD length = 0;
  if (!crypt.Decrypt(record.data(), &plain, &length)) return false;
  for (size_t i = 0; i < 16; ++i) password[i] = Char(plain[2 * i] | plain[2 * i + 1] << 8);
  return true;
}

bool IsEmptyRecord(const PasswordRecord& record) {
  return std::all_of(record.begin(), record.end(), [](BYTE b) { return b == 0; });
}

}  // namespace orv
