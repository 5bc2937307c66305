// CRYPT.INI, the record of the encrypted files a restore wrote: a UTF-16 text file with
// a [Crypt] section of numbered keys, one per file.
#pragma once

#include "platform/text.h"
#include "vantrel/types.h"

namespace orv {

// Adds `value` under the next key of the [Crypt] section of the file, creating file and
// section when missing. Keys go on after the highest the file holds (and the highest
// this process wrote), so that no earlier record is overwritten. The file is replaced
// whole, never written in place.
DWORD AddCryptRecord(WStringView iniPath, WStringView value);

// "partition\rest\entry|tempName", without "rest\" when the target is a drive root and
// without "|tempName" when there is none.
WString CryptRecordValue(DWORD partition, WStringView rest, WStringView entry, WStringView tempName);

}  // namespace orv
