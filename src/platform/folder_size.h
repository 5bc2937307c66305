// The bytes that the files below a folder occupy, links not followed.
#pragma once

#include <cstdint>

#include "platform/text.h"

namespace orv::os {

uint64_t FolderBytes(WStringView folder);

}  // namespace orv::os
