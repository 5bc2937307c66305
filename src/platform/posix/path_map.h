// Windows-form paths to native paths. "C:\dir\file" resolves the drive letter through
// the volume table, a path that starts with "/" is native, "\" and "/" both separate,
// a "\\?\" prefix is dropped and a relative path starts at the current directory.
// "." and ".." are applied to the text, as Windows does, and never climb above the
// drive's folder (or "/"). Components that are missing as spelled are looked up again
// ignoring case, because the library expects a case-insensitive file system.
#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/posix/errno_map.h"
#include "platform/text.h"

namespace orv::os::posix {

// What statx must be asked for to tell mounts apart: a mount identifier that is never
// reused (0x4000, newer kernels) or else the plain one.
inline constexpr unsigned kMountIdMask = STATX_MNT_ID | 0x4000;
// What every look at an entry asks for: the basics, the birth time and the mount.
inline constexpr unsigned kEntryStatMask = STATX_BASIC_STATS | STATX_BTIME | kMountIdMask;

struct ResolvedPath {
  std::string native;     // the whole path, in the on-disk spelling where entries exist
  std::string parent;     // the folder that holds it (the path itself for a root)
  std::string name;       // the final component: on-disk spelling, or as given if missing
  std::string givenName;  // the final component exactly as the caller spelled it
  bool exists = false;    // the final entry exists (a link counts, whatever its target)
  bool isRoot = false;    // a drive's folder ("C:\") or "/"
  // The final entry itself (links not followed) as the lookup saw it, so that callers
  // need not ask again; false when the lookup went component by component.
  bool stated = false;
  struct statx st {};
};

// 3 when the drive letter is not mapped, when a folder on the way is missing or is a
// file, or for a UNC path; 123 for an embedded NUL.
DWORD ResolvePath(WStringView path, ResolvedPath& resolved);

// The native path as spelled, without a look at the disk: what ResolvePath gives when
// every component exists as spelled. Fails as ResolvePath does on malformed paths.
DWORD SpelledPath(WStringView path, std::string& native);

// The native path of an existing entry; 2 when the final name does not exist.
DWORD ResolveExisting(WStringView path, std::string& native);

// Resolves as much of the path as exists and leaves the rest as given. `missing` is the
// number of trailing components with no entry. 3 when the root itself is missing.
DWORD ResolvePathLoosely(WStringView path, std::string& native, size_t& missing);

// The current directory as the system spells it.
DWORD NativeCurrentDirectory(std::string& cwd);

// Whether a program or module name is a path (a separator or a drive in it) rather
// than a bare name for the system to look up.
bool IsPathName(WStringView name);

// Whether native absolute `path` is `folder` or lies below it, by whole components.
bool NativeWithin(std::string_view folder, std::string_view path);

// "a" + "/" + "b", without doubling the separator after "/".
std::string JoinNative(const std::string& folder, const std::string& name);

}  // namespace orv::os::posix
