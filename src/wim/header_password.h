// The password block of a WIM file: 32 bytes at H - 32 of the file, where H is the
// header size stored at offset 8. Only the first 1024 bytes are ever looked at, and a
// header that would put the block outside them is refused.
#pragma once

#include "platform/text.h"
#include "wim/password_record.h"

namespace orv {

inline constexpr DWORD kWimHeaderBytes = 1024;

// The size of a standard WIM header (version 1.13): its fields end at byte 176, the
// block takes its last 32 bytes.
inline constexpr DWORD kStandardHeaderSize = 208;

// The offset of the block for the first 1024 bytes of a file; kFileCorrupt (1392) when
// they do not start with the WIM magic "MSWIM\0\0\0" or the header size lies outside
// 208..1024 (a smaller header would put the block over the header's own fields).
DWORD PasswordBlockOffset(const BYTE (&header)[kWimHeaderBytes], DWORD& offset);

// Stores the scrambled password in the file's header. Only the 32 bytes of the block
// are written; a write that fails part-way is undone, so the header is never left
// half updated. A file shorter than 1024 bytes (38), or that is no WIM file or has a
// bad header size (1392), is refused and left untouched.
DWORD WriteHeaderPassword(WStringView wimPath, WStringView password);

// Reads the block; `present` is false when it is all zero (no password set).
DWORD ReadHeaderPassword(WStringView wimPath, PasswordRecord& record, bool& present);

}  // namespace orv
