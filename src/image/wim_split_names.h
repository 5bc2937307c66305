// The names of a split WIM file: the engine writes the parts under the file's own name
// (FILE.WIM, FILE2.WIM, FILE3.WIM, ...), from the whole file moved aside to FILE_O.WIM.
#pragma once

#include "platform/text.h"
#include "services/format.h"

namespace orv {

// The path without its extension (from the last "." of the file name).
inline WString WithoutExtension(WStringView path) {
  const size_t dot = path.rfind('.');
  const size_t separator = path.find_last_of(ORV_T("\\/"));
  const bool hasExtension = dot != WStringView::npos && (separator == WStringView::npos || dot > separator);
  return WString(hasExtension ? path.substr(0, dot) : path);
}

// The extension of the file name, with its dot; empty when it has none.
inline WString ExtensionOf(WStringView path) {
  return WString(path.substr(WithoutExtension(path).size()));
}

// Where the whole file waits while its parts are written.
inline WString UnsplitWimName(WStringView path) { return WithoutExtension(path) + ORV_T("_O.WIM"); }

// Part `number` (2 and up) of a split WIM file.
inline WString WimPartName(WStringView path, unsigned number) {
  return Format(ORV_T("%s%u%s"), WithoutExtension(path), number, ExtensionOf(path));
}

}  // namespace orv
