// The encrypted-files component: exports the raw encrypted stream of an encrypted file
// into another file, the form that archives store. Where it is not installed the
// callers fall back to the 64-bit helper program or to the system's raw-file interface.
#pragma once

#include "platform/text.h"

namespace orv {

// 0 when the raw stream of `source` was written to `target`; the component's absence
// answers kComponentNotRegistered (services/shadow_copy.h).
DWORD PutRawContentToFile(WStringView source, WStringView target);

// The raw stream of `source` written to the new file `target`: through the component
// where it is installed (its failure logged), else through the system's raw-file
// interface. 0, or the code of the last way tried.
DWORD ExportEncryptedStream(const WString& source, const WString& target);

}  // namespace orv
