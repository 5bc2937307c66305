#include "platform/native_name.h"
#include "platform/posix/path_map.h"

namespace orv::os {

DWORD NativeNameOf(WStringView path, std::string& native) {
  size_t missing = 0;
  return posix::ResolvePathLoosely(path, native, missing);
}

}  // namespace orv::os
