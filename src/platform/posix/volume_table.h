// The drive-letter table: which native folder each letter stands for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace orv::os::posix {

// The native folder of a drive letter (either case), without trailing "/" unless it
// is "/" itself; nullopt when the letter is not mapped.
std::optional<std::string> DriveFolder(Char letter);

struct DriveMatch {
  Char letter;         // upper case
  std::string folder;  // as DriveFolder gives it
  uint64_t size = 0;   // of the partition the letter stands for; 0 when not recorded
};

// The drive whose folder holds a native absolute path (whole components); the folder
// with the longest match wins. nullopt when no folder holds it.
std::optional<DriveMatch> DriveHolding(std::string_view native);

// The drive root ("E:\") that stands for a mounted volume's folder, as on Windows: the
// letter already mapped to that folder, else the first free one from C on, which is
// mapped to it for the rest of the process. The folder itself when no letter is free.
WString DriveRootFor(std::string_view mountPoint);
// "C:\dir\x" for a native absolute path inside a mapped folder ("C:\" for the folder
// itself); nullopt when no folder holds it.
std::optional<WString> DrivePathOf(std::string_view native);

}  // namespace orv::os::posix
