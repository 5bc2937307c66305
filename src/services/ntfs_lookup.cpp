#include "services/ntfs_lookup.h"

#include <vector>

#include "platform/case_fold.h"
#include "platform/errors.h"
#include "services/ntfs_attribute_list.h"
#include "services/ntfs_record.h"

namespace orv::ntfs {

DWORD FindChild(Volume& volume, uint64_t folder, WStringView name, uint64_t& reference) {
  std::vector<uint8_t> record;
  FileFacts facts;
  for (uint64_t number = 0; number < volume.RecordCount(); ++number) {
    const DWORD error = volume.ReadRecord(number, record);
    if (error == err::kFileCorrupt) continue;
    if (error != 0) return error;
    if (ReadEntryFacts(volume, number, record, facts) != 0 || !facts.inUse || !facts.isBase ||
        !facts.hasName || RecordOf(facts.parent) != RecordOf(folder) ||
        os::CompareNoCase(facts.name, name) != 0)
      continue;
    reference = (uint64_t{facts.sequence} << 48) | number;
    return err::kSuccess;
  }
  return err::kFileNotFound;
}

}  // namespace orv::ntfs
