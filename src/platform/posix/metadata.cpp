#include "platform/posix/metadata.h"

#include <fcntl.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstring>

#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/little_endian.h"
#include "platform/notice.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/file_time.h"
#include "platform/posix/ntfs3g.h"

namespace orv::os::posix {

namespace {

// The bits the type of the entry decides, never stored.
constexpr DWORD kDerivedAttributes = kAttrDirectory | kAttrReparsePoint | kAttrNormal;

// An attribute that cannot be read (no such attribute, none on this file system, or
// no permission to look) counts as absent rather than failing the whole query.
bool MeansAbsent(int error) {
  return error == ENODATA || error == ENOTSUP || error == EACCES || error == EPERM;
}

DWORD DefaultAttributes(const EntryStat& entry) { return entry.isDirectory ? 0 : kAttrArchive; }

void FinishStat(EntryStat& entry, const std::string& path) {
  entry.isLink = S_ISLNK(entry.st.stx_mode);
  if (entry.isLink && HasNtfsMetadata(EntryRef{path}, entry)) {
    // A reparse point of an NTFS volume knows whether it stands for a folder, wherever
    // it leads.
    DWORD attributes, reparseTag;
    entry.isDirectory = ReadNtfsAttributes(EntryRef{path}, attributes, reparseTag) == 0 &&
                        (attributes & kAttrDirectory);
  } else if (entry.isLink) {
    struct stat target;
    entry.isDirectory = stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
  } else {
    entry.isDirectory = S_ISDIR(entry.st.stx_mode);
  }
}

FileTime FromStatx(const statx_timestamp& time) { return ToFileTime(time.tv_sec, time.tv_nsec); }

}  // namespace

DWORD StatPath(const std::string& native, EntryStat& entry, bool follow) {
  if (statx(AT_FDCWD, native.c_str(), follow ? 0 : AT_SYMLINK_NOFOLLOW, kEntryStatMask, &entry.st) != 0)
    return LastError();
  FinishStat(entry, native);
  return err::kSuccess;
}

DWORD StatInFolder(int folder, const char* name, const std::string& native, EntryStat& entry) {
  if (statx(folder, name, AT_SYMLINK_NOFOLLOW, kEntryStatMask, &entry.st) != 0) return LastError();
  FinishStat(entry, native);
  return err::kSuccess;
}

DWORD StatDescriptor(int fd, const std::string& path, EntryStat& entry) {
  if (statx(fd, "", AT_EMPTY_PATH, kEntryStatMask, &entry.st) != 0) return LastError();
  FinishStat(entry, path);
  return err::kSuccess;
}

DWORD StatResolved(const ResolvedPath& resolved, EntryStat& entry) {
  if (!resolved.stated) return StatPath(resolved.native, entry);
  entry.st = resolved.st;
  FinishStat(entry, resolved.native);
  return err::kSuccess;
}

DWORD LocateEntry(WStringView path, ResolvedPath& resolved, EntryStat& entry) {
  if (DWORD error = ResolvePath(path, resolved)) return error;
  if (!resolved.exists) return err::kFileNotFound;
  return StatResolved(resolved, entry);
}

namespace {

// The entry's attribute names, NUL-separated, as listxattr gives them; nullopt when they
// cannot be listed (the reads then ask for each attribute itself).
std::optional<std::string> ListXattrNames(const EntryRef& ref) {
  std::string names;
  for (;;) {
    const ssize_t size =
        ref.fd >= 0 ? flistxattr(ref.fd, nullptr, 0) : llistxattr(ref.path.c_str(), nullptr, 0);
    if (size < 0) return errno == ENOTSUP ? std::optional<std::string>(names) : std::nullopt;
    names.resize(static_cast<size_t>(size));
    if (size == 0) return names;
    const ssize_t got = ref.fd >= 0 ? flistxattr(ref.fd, names.data(), names.size())
                                    : llistxattr(ref.path.c_str(), names.data(), names.size());
    if (got >= 0) {
      names.resize(static_cast<size_t>(got));
      return names;
    }
    if (errno != ERANGE) return std::nullopt;
    // The list grew between the two calls: ask again.
  }
}

bool ListedXattr(const std::string& names, const char* name) {
  for (size_t start = 0; start < names.size();) {
    const size_t end = names.find('\0', start);
    const size_t length = (end == std::string::npos ? names.size() : end) - start;
    if (names.compare(start, length, name) == 0) return true;
    start += length + 1;
  }
  return false;
}

// Only the user namespace is listed completely: ntfs-3g answers for its system.ntfs_*
// attributes without listing them.
bool IsListedNamespace(const char* name) { return std::strncmp(name, "user.", 5) == 0; }

}  // namespace

DWORD ReadXattr(const EntryRef& ref, const char* name, std::vector<uint8_t>& value, bool& present) {
  present = false;
  value.clear();
  if (IsListedNamespace(name)) {
    if (!ref.xattrNames) ref.xattrNames = ListXattrNames(ref);
    if (ref.xattrNames && !ListedXattr(*ref.xattrNames, name)) return err::kSuccess;
  }
  for (;;) {
    const ssize_t size = ref.fd >= 0 ? fgetxattr(ref.fd, name, nullptr, 0)
                                     : lgetxattr(ref.path.c_str(), name, nullptr, 0);
    if (size < 0) return MeansAbsent(errno) ? err::kSuccess : LastError();
    value.resize(static_cast<size_t>(size));
    const ssize_t got = ref.fd >= 0 ? fgetxattr(ref.fd, name, value.data(), value.size())
                                    : lgetxattr(ref.path.c_str(), name, value.data(), value.size());
    if (got >= 0) {
      value.resize(static_cast<size_t>(got));
      present = true;
      return err::kSuccess;
    }
    if (errno != ERANGE) return MeansAbsent(errno) ? err::kSuccess : LastError();
    // The value grew between the two calls: ask again.
  }
}

DWORD WriteXattr(const EntryRef& ref, const char* name, const std::vector<uint8_t>& value,
                 const char* what) {
  ref.xattrNames.reset();
  const int result = ref.fd >= 0 ? fsetxattr(ref.fd, name, value.data(), value.size(), 0)
                                 : lsetxattr(ref.path.c_str(), name, value.data(), value.size(), 0);
  if (result == 0) return err::kSuccess;
  if (errno == ENOTSUP) {
    NoticeDropped(what, ref.path);
    return err::kSuccess;
  }
  return LastError();
}

DWORD RemoveXattr(const EntryRef& ref, const char* name) {
  ref.xattrNames.reset();
  const int result =
      ref.fd >= 0 ? fremovexattr(ref.fd, name) : lremovexattr(ref.path.c_str(), name);
  return result == 0 || errno == ENODATA || errno == ENOTSUP ? err::kSuccess : LastError();
}

void NoticeDropped(const char* what, const std::string& path) {
  Notice(
      FromUtf8(std::string(what) + " of " + path + " not kept: the file system cannot store it"));
}

DWORD ReadAttributes(const EntryRef& ref, const EntryStat& entry, DWORD& attributes,
                     DWORD& reparseTag) {
  if (HasNtfsMetadata(ref, entry)) return ReadNtfsAttributes(ref, attributes, reparseTag);
  reparseTag = 0;
  if (entry.isLink) {
    attributes = kAttrReparsePoint | (entry.isDirectory ? kAttrDirectory : kAttrArchive);
    reparseTag = kReparseTagSymlink;
    return err::kSuccess;
  }
  std::vector<uint8_t> value;
  bool present;
  if (DWORD error = ReadXattr(ref, kAttributesXattr, value, present)) return error;
  attributes = present && value.size() == sizeof(DWORD)
                   ? LoadLE<DWORD>(value.data()) & ~kDerivedAttributes
                   : DefaultAttributes(entry);
  if (entry.isDirectory) attributes |= kAttrDirectory;
  if (DWORD error = ReadXattr(ref, kReparseXattr, value, present)) return error;
  if (present && value.size() >= sizeof(DWORD)) {
    attributes |= kAttrReparsePoint;
    reparseTag = LoadLE<DWORD>(value.data());
  }
  if (attributes == 0) attributes = kAttrNormal;
  return err::kSuccess;
}

DWORD ReadTimes(const EntryRef& ref, const EntryStat& entry, FileTimes& times) {
  times.lastAccess = FromStatx(entry.st.stx_atime);
  times.lastWrite = FromStatx(entry.st.stx_mtime);
  times.creation =
      entry.st.stx_mask & STATX_BTIME ? FromStatx(entry.st.stx_btime) : times.lastWrite;
  if (HasNtfsMetadata(ref, entry)) return ReadNtfsTimes(ref, times);
  if (entry.isLink) return err::kSuccess;
  std::vector<uint8_t> value;
  bool present;
  if (DWORD error = ReadXattr(ref, kCreationTimeXattr, value, present)) return error;
  if (present && value.size() == sizeof(FileTime))
    times.creation = LoadLE<FileTime>(value.data());
  return err::kSuccess;
}

DWORD ReadInfo(const EntryRef& ref, const EntryStat& entry, FileInfo& info) {
  DWORD reparseTag;
  if (DWORD error = ReadAttributes(ref, entry, info.attributes, reparseTag)) return error;
  if (DWORD error = ReadTimes(ref, entry, info.times)) return error;
  info.size = S_ISREG(entry.st.stx_mode) ? entry.st.stx_size : 0;
  info.volumeSerial = VolumeSerial(entry.st);
  info.fileIndex = entry.st.stx_ino;
  info.links = entry.st.stx_nlink;
  return err::kSuccess;
}

DWORD ReadShortName(const EntryRef& ref, const EntryStat& entry, WString& shortName) {
  if (HasNtfsMetadata(ref, entry)) return ReadNtfsShortName(ref, shortName);
  shortName.clear();
  if (entry.isLink) return err::kSuccess;
  std::vector<uint8_t> value;
  bool present;
  if (DWORD error = ReadXattr(ref, kShortNameXattr, value, present)) return error;
  // Anything longer than a short name can be is not one: report none.
  if (value.size() / 2 > kMaxShortName) return err::kSuccess;
  for (size_t i = 0; i + 1 < value.size(); i += 2)
    shortName += static_cast<Char>(LoadLE<uint16_t>(&value[i]));
  return err::kSuccess;
}

DWORD WriteAttributes(const EntryRef& ref, const EntryStat& entry, DWORD attributes) {
  bool ntfs = false;
  if (DWORD error = NtfsMetadataForWrite(ref, entry, ntfs)) return error;
  if (ntfs) return WriteNtfsAttributes(ref, attributes);
  const DWORD stored = attributes & ~kDerivedAttributes;
  // The default needs no attribute; removing it keeps plain files free of them.
  if (stored == DefaultAttributes(entry))
    return entry.isLink ? err::kSuccess : RemoveXattr(ref, kAttributesXattr);
  if (entry.isLink) {
    NoticeDropped("attributes", ref.path);
    return err::kSuccess;
  }
  std::vector<uint8_t> value;
  AppendLE<DWORD>(value, stored);
  return WriteXattr(ref, kAttributesXattr, value, "attributes");
}

DWORD WriteTimes(const EntryRef& ref, const EntryStat& entry, const FileTimes& times) {
  bool ntfs = false;
  if (DWORD error = NtfsMetadataForWrite(ref, entry, ntfs)) return error;
  if (ntfs) return WriteNtfsTimes(ref, times);
  if (times.lastAccess != 0 || times.lastWrite != 0) {
    timespec values[2];
    values[0] = times.lastAccess != 0 ? ToTimespec(times.lastAccess) : timespec{0, UTIME_OMIT};
    values[1] = times.lastWrite != 0 ? ToTimespec(times.lastWrite) : timespec{0, UTIME_OMIT};
    const int result = ref.fd >= 0
                           ? futimens(ref.fd, values)
                           : utimensat(AT_FDCWD, ref.path.c_str(), values, AT_SYMLINK_NOFOLLOW);
    if (result != 0) return LastError();
  }
  if (times.creation == 0) return err::kSuccess;
  if (entry.isLink) {
    NoticeDropped("creation time", ref.path);
    return err::kSuccess;
  }
  std::vector<uint8_t> value;
  AppendLE<FileTime>(value, times.creation);
  return WriteXattr(ref, kCreationTimeXattr, value, "creation time");
}

DWORD VolumeSerial(const struct statx& st) {
  const uint64_t device = makedev(st.stx_dev_major, st.stx_dev_minor);
  return static_cast<DWORD>(device ^ (device >> 32));
}

}  // namespace orv::os::posix
