#include "platform/errors.h"
#include "platform/file.h"

namespace orv::os {

DWORD CreateNewFile(WStringView path, File& file, DWORD share) {
  constexpr DWORD kAccess = kGenericRead | kGenericWrite;
  DWORD error = file.Open(path, kAccess, share, Disposition::kCreateNew, kAttrNormal | kOpenReparsePoint);
  if (error != err::kFileExists && error != err::kAlreadyExists) return error;
  // A folder, or a link to one, is removed as a folder: the link alone goes.
  DWORD attributes = 0;
  if (GetAttributes(path, attributes) == 0 && (attributes & kAttrDirectory))
    error = RemoveDirectory(path);
  else
    error = DeleteFile(path);
  if (error) return error;
  return file.Open(path, kAccess, share, Disposition::kCreateNew, kAttrNormal | kOpenReparsePoint);
}

}  // namespace orv::os
