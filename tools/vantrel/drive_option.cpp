#include "drive_option.h"

#include <cctype>
#include <cstdio>
#include <optional>

#include "platform/encoding.h"
#include "platform/file.h"
#include "platform/process.h"

namespace vantrel_cli {

ORVCHAR UseDriveOption(const std::string& option, const char* doing) {
  namespace os = orv::os;
  const size_t equals = option.find('=');
  const std::string letter = option.substr(0, equals);
  if (letter.size() != 1 || !std::isalpha(static_cast<unsigned char>(letter[0]))) {
    std::fprintf(stderr, "vantrel: %s: --drive takes a letter, or LETTER=FOLDER: %s\n", doing,
                 option.c_str());
    return 0;
  }
  const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter[0])));
  if (equals != std::string::npos) {
    // A folder that is not there would only fail later, as a path of the volume.
    const std::string folder = option.substr(equals + 1);
    DWORD attributes = 0;
    if (os::GetAttributes(os::FromUtf8(folder), attributes) != 0 ||
        !(attributes & os::kAttrDirectory)) {
      std::fprintf(stderr, "vantrel: %s: --drive %s: %s is not a folder\n", doing, option.c_str(),
                   folder.c_str());
      return 0;
    }
    // The letter given here comes before any mapping already there.
    orv::WString drives = os::FromUtf8(std::string(1, upper) + option.substr(equals));
    if (const std::optional<orv::WString> earlier = os::GetEnvironment(ORV_T("VANTREL_DRIVES")))
      if (!earlier->empty()) drives += ORV_T(";") + *earlier;
    os::SetEnvironment(ORV_T("VANTREL_DRIVES"), drives);
  }
  return static_cast<ORVCHAR>(upper);
}

}  // namespace vantrel_cli
