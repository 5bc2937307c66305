// The name the system's own libraries take for a path the core spells in Windows form:
// on Linux the mapped native path in UTF-8 (drive letters through the volume table,
// "\" as separator, existing components in their on-disk spelling, missing trailing
// components as given); on Windows the path itself in UTF-8.
#pragma once

#include <string>

#include "platform/text.h"

namespace orv::os {

// 3 when the drive is not mapped or the root is missing.
DWORD NativeNameOf(WStringView path, std::string& native);

// The Windows-form spelling of a native name below `nativeRoot`, placed below
// `givenRoot` (the form in which the caller named that root): "/mnt/c/dir/f" below
// "/mnt/c" given as "C:\" gives "C:\dir\f".
WString GivenNameOf(std::string_view native, std::string_view nativeRoot, WStringView givenRoot);

// How many characters from the start of `name` fit into `room` units of a file name
// component, counted as the system limits names: UTF-16 units on Windows, UTF-8 bytes
// on Linux (where 255 bytes may hold far fewer than 255 characters). A surrogate pair
// is never split.
size_t FittingNameLength(WStringView name, size_t room);

}  // namespace orv::os
