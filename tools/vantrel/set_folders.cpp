#include "set_folders.h"

#include "platform/encoding.h"
#include "platform/file.h"

namespace vantrel_cli {

std::string MissingSet(const std::string& sets, int first, int last) {
  for (int n = first; n <= last; ++n) {
    const std::string set = sets + "/USERDIFF." + std::to_string(n);
    DWORD attributes = 0;
    if (orv::os::GetAttributes(orv::os::FromUtf8(set), attributes) != 0 ||
        !(attributes & orv::os::kAttrDirectory))
      return set;
  }
  return std::string();
}

}  // namespace vantrel_cli
