// The 32-byte password record that image folders and WIM headers carry: the first 16
// UTF-16LE code units of the password, zero-padded, scrambled with the library key.
#pragma once

#include <array>

#include "platform/text.h"

namespace orv {

using PasswordRecord = std::array<BYTE, 32>;

// False only when the scrambler cannot run (no memory).
bool ScramblePassword(WStringView password, PasswordRecord& record);
// The 16 code units the record holds, zero-padded (no terminator after 16 characters).
bool UnscramblePassword(const PasswordRecord& record, Char (&password)[16]);

bool IsEmptyRecord(const PasswordRecord& record);

}  // namespace orv
