// The raw streams of encrypted files: exported as opaque bytes that keep the encryption,
// and imported as a new encrypted file. On Linux, which has no encrypting file system,
// the raw stream is a stand-in: an 8-byte mark "VTEFSRAW" followed by the plain content,
// and an imported file carries the encrypted attribute in its stored attributes.
// On an NTFS volume mounted through ntfs-3g with raw encrypted-file access, the stream
// is the volume's own encrypted data and encryption metadata instead.
#pragma once

#include "platform/text.h"
#include "vantrel/types.h"

namespace orv::os {

// Writes the raw stream of `source` into the new file `staging`.
DWORD ExportEncryptedRaw(WStringView source, WStringView staging);
// Creates `target` as an encrypted file from the raw stream in `staging`.
DWORD ImportEncryptedRaw(WStringView staging, WStringView target);

}  // namespace orv::os
