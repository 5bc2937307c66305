// Names of the files of a version 5 or 6 archive: the index file <base>_0000<ext> and
// the part files <base>_0001<ext>, ... beside the main file <base><ext>. The extension
// is everything from the last "." of the path; the number has at least four digits.
// Header-only, so that tools find the parts of an archive by the same rule.
#pragma once

#include "platform/text.h"
#include "vantrel/types.h"

namespace orv::archive {

inline WString PartFileName(WStringView mainFile, DWORD part) {
  WString number;
  for (DWORD rest = part; rest != 0 || number.empty(); rest /= 10)
    number.insert(number.begin(), static_cast<Char>('0' + rest % 10));
  if (number.size() < 4) number.insert(0, 4 - number.size(), Char('0'));
  const size_t dot = mainFile.rfind(Char('.'));
  WString name(mainFile.substr(0, dot));
  name += Char('_');
  name += number;
  if (dot != WStringView::npos) name += mainFile.substr(dot);
  return name;
}

inline WString IndexFileName(WStringView mainFile) { return PartFileName(mainFile, 0); }

}  // namespace orv::archive
