#include "platform/compression.h"

#include "platform/errors.h"
#include "platform/file.h"

namespace orv::os {

DWORD SetDefaultCompression(WStringView path) {
  DWORD attributes = 0;
  return GetAttributes(path, attributes);
}

}  // namespace orv::os
