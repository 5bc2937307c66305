// Paths of the change list are data: a change is taken only when its path names
// something below the root of the system drive.
#pragma once

#include <optional>

#include "platform/text.h"

namespace orv {

// The path below the root of `systemDrive` ("C:") that `fullPath` ("C:\dir\file") names,
// with a leading backslash ("\dir\file"). Nothing for another drive, a share, the root
// itself, or a path that would reach outside the volume ("..", streams, NUL).
std::optional<WString> PathOnSystemDrive(WStringView fullPath, WStringView systemDrive);

// The entry name an archive stores for such a path: without its leading backslash.
inline WString EntryName(const WString& relative) { return relative.substr(1); }

}  // namespace orv
