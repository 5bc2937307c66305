#include "recovery/system_drive_path.h"

#include "image/catalogue_paths.h"
#include "platform/case_fold.h"

namespace orv {

std::optional<WString> PathOnSystemDrive(WStringView fullPath, WStringView systemDrive) {
  const size_t driveLength = systemDrive.size();
  if (driveLength == 0 || fullPath.size() <= driveLength + 1 ||
      os::CompareNoCase(fullPath.substr(0, driveLength), systemDrive) != 0 ||
      fullPath[driveLength] != '\\')
    return std::nullopt;
  const std::optional<WString> below = SafeRelativePath(fullPath.substr(driveLength + 1));
  if (!below) return std::nullopt;
  WString relative = ORV_T("\\") + *below;
  for (Char& c : relative)
    if (c == '/') c = '\\';
  return relative;
}

}  // namespace orv
