// Names read from catalogue files are data: before any of them is joined to a folder
// it must name something inside that folder.
#pragma once

#include <optional>

#include "platform/text.h"

namespace orv {

// The path below a folder that `text` names: one leading backslash is allowed (entries
// of a deletion list are written that way), separators are "\" or "/". Nothing when the
// text is empty, holds an empty or "." component, or fails the archive's rule of names
// that stay inside a folder (archive/target_path.h: "..", ". .", colons, NUL, UNC).
std::optional<WString> SafeRelativePath(WStringView text);

// Whether `text` is a plain file name (no separator at all) that SafeRelativePath accepts.
bool IsPlainFileName(WStringView text);

}  // namespace orv
