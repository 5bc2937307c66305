// What a restore leaves out of an image, whatever the caller answers: the system's own
// files at the volume root, which the system makes anew.
#pragma once

#include <iterator>

#include "archive/morlet.h"
#include "platform/case_fold.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace orv {

// The entry path is relative to the archive root, with backslashes.
inline bool IsLeftOutOfRestore(WStringView entry) {
  constexpr WStringView kVolumeInformation = ORV_T("System Volume Information\\");
  return (entry.size() >= kVolumeInformation.size() &&
          os::CompareNoCase(entry.substr(0, kVolumeInformation.size()), kVolumeInformation) == 0) ||
         os::CompareNoCase(entry, ORV_T("pagefile.sys")) == 0 ||
         os::CompareNoCase(entry, ORV_T("hiberfil.sys")) == 0;
}

// The path of the reader's current entry, relative to the archive root.
inline WString CurrentEntryName(COrvMorlet& reader) {
  Char name[261] = {};
  reader.GetEntryName(name, static_cast<int>(std::size(name)));
  return WString(name);
}

// 0 when the walk of `reader` ended because no entry was left, else the reason it ended.
inline DWORD WalkError(COrvMorlet& reader) {
  const DWORD error = reader.GetLastErrorCode();
  return error == err::kNoMoreItems ? 0 : error;
}

}  // namespace orv
