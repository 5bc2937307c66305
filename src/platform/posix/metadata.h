// Windows-only metadata of files on Linux. What the file system cannot express is kept
// in extended attributes of the file, under these names:
//   user.vantrel.attributes     DOS attributes, DWORD little-endian, without the directory
//                               and reparse-point bits (those follow from the file type)
//   user.vantrel.creation_time  creation time, 8-byte little-endian file time
//   user.vantrel.short_name     the 8.3 name, UTF-16LE without terminator
//   user.vantrel.security       self-relative security descriptor, stored as given
//   user.vantrel.reparse        reparse data of tags other than symbolic link and mount
//                               point (and of links whose target cannot be expressed here)
// Without them, files report kAttrArchive and folders kAttrDirectory, and the creation
// time is the birth time the file system keeps, else the last write time.
// On an NTFS volume mounted through ntfs-3g the driver's own attributes hold the real
// metadata instead (see ntfs3g.h).
// Symbolic links cannot carry user attributes on Linux; on a file system without user
// attributes at all, what does not fit is dropped with a notice and the call succeeds.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/posix/path_map.h"

namespace orv::os::posix {

inline constexpr char kAttributesXattr[] = "user.vantrel.attributes";
inline constexpr char kCreationTimeXattr[] = "user.vantrel.creation_time";
inline constexpr char kShortNameXattr[] = "user.vantrel.short_name";
inline constexpr char kSecurityXattr[] = "user.vantrel.security";
inline constexpr char kReparseXattr[] = "user.vantrel.reparse";

// Where the metadata of one entry lives: an open descriptor when there is one (it keeps
// working after the file is renamed or deleted), else the native path, whose final link
// is never followed. `path` also names the entry in notices.
struct EntryRef {
  std::string path;
  int fd = -1;
  // The names of the entry's extended attributes, listed once on the first read so that
  // the reads of attributes it does not have cost no system call. Writes forget it.
  mutable std::optional<std::string> xattrNames{};
};

struct EntryStat {
  struct statx st;
  bool isLink = false;
  bool isDirectory = false;  // a folder, or a link whose target is a folder
};

// The entry itself, or with `follow` what its final link points to.
DWORD StatPath(const std::string& native, EntryStat& entry, bool follow = false);
// `path` is the name the descriptor was opened with, consulted for a link's target.
DWORD StatDescriptor(int fd, const std::string& path, EntryStat& entry);
// The entry `name` of the open folder `folder`, whose full path is `native`: a lookup of
// one component instead of the whole path.
DWORD StatInFolder(int folder, const char* name, const std::string& native, EntryStat& entry);
// The existing entry a resolution found, from the statx it kept when it has one.
DWORD StatResolved(const ResolvedPath& resolved, EntryStat& entry);

// Resolves a path that must name an existing entry (2 when it does not) and looks at
// the entry itself, not at what a final link points to.
DWORD LocateEntry(WStringView path, ResolvedPath& resolved, EntryStat& entry);

// Extended attributes; an attribute the file system refuses to hold is absent.
DWORD ReadXattr(const EntryRef& ref, const char* name, std::vector<uint8_t>& value, bool& present);
DWORD WriteXattr(const EntryRef& ref, const char* name, const std::vector<uint8_t>& value,
                 const char* what);
DWORD RemoveXattr(const EntryRef& ref, const char* name);

// A notice that `what` of the entry at `path` could not be kept.
void NoticeDropped(const char* what, const std::string& path);

DWORD ReadAttributes(const EntryRef& ref, const EntryStat& entry, DWORD& attributes,
                     DWORD& reparseTag);
DWORD ReadTimes(const EntryRef& ref, const EntryStat& entry, FileTimes& times);
DWORD ReadInfo(const EntryRef& ref, const EntryStat& entry, FileInfo& info);
// Empty when none is stored (links never have one).
DWORD ReadShortName(const EntryRef& ref, const EntryStat& entry, WString& shortName);
// The stored security descriptor, opaque; empty when none is stored (links never have
// one but on an NTFS volume).
DWORD ReadSecurity(const EntryRef& ref, const EntryStat& entry, std::vector<uint8_t>& descriptor);

// An 8.3 name: at most eight characters, a dot and three more.
inline constexpr size_t kMaxShortName = 12;

DWORD WriteAttributes(const EntryRef& ref, const EntryStat& entry, DWORD attributes);
// A zero time leaves that time as it is.
DWORD WriteTimes(const EntryRef& ref, const EntryStat& entry, const FileTimes& times);

// The 32-bit volume serial number of a device: its number folded to 32 bits.
DWORD VolumeSerial(const struct statx& st);

}  // namespace orv::os::posix
