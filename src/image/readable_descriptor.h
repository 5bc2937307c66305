// The security descriptor an entry is stored with, read even where the process may not
// read it: the entry is then taken over by the Administrators and read again.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/text.h"

namespace orv {

struct EntryDescriptor {
  std::vector<uint8_t> bytes;   // empty when none could be read
  bool ownershipTaken = false;  // the entry's owner was changed to read it
};

EntryDescriptor ReadEntryDescriptor(const WString& path);

}  // namespace orv
