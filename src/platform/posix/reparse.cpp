// Reparse points. A Linux symbolic link reads back as symbolic-link reparse data, and
// symbolic-link or mount-point data turns an item into a symbolic link. Linux has no
// mount-point links, so a mount point comes back as a symbolic link to a folder.
// Absolute targets travel in drive form ("\??\C:\dir") through the volume table; a
// target outside every drive's folder, or with "." or ".." in it, keeps its native form
// ("/srv/x"). Data of other tags, and links to places this system cannot name (an
// unmapped drive, a volume GUID, a network share), are kept whole in the
// user.vantrel.reparse attribute. On an NTFS volume mounted through ntfs-3g the data is
// the volume's own reparse data, read and written whole.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/metadata.h"
#include "platform/posix/ntfs3g.h"
#include "platform/posix/path_map.h"
#include "platform/posix/reparse_buffer.h"
#include "platform/posix/share_table.h"
#include "platform/posix/volume_table.h"

namespace orv::os {

namespace {

using posix::EntryRef;
using posix::EntryStat;
using posix::LinkReparse;
using posix::ResolvedPath;

constexpr WStringView kNtPrefix = ORV_T("\\??\\");

WString Replaced(WStringView text, Char from, Char to) {
  WString result(text);
  for (Char& c : result)
    if (c == from) c = to;
  return result;
}

DWORD ReadLink(const std::string& native, std::string& target) {
  target.assign(256, '\0');
  for (;;) {
    const ssize_t size = readlink(native.c_str(), target.data(), target.size());
    if (size < 0) return posix::LastError();
    if (static_cast<size_t>(size) < target.size()) {
      target.resize(static_cast<size_t>(size));
      return err::kSuccess;
    }
    target.resize(target.size() * 2);
  }
}

// Whether a native path has "." or ".." components, which only the file system can
// resolve (a folder on the way may itself be a link).
bool HasDotComponents(std::string_view path) {
  for (size_t start = 0; start <= path.size();) {
    const size_t end = std::min(path.find('/', start), path.size());
    const std::string_view part = path.substr(start, end - start);
    if (part == "." || part == "..") return true;
    start = end + 1;
  }
  return false;
}

LinkReparse LinkOfTarget(const std::string& target) {
  LinkReparse link;
  link.tag = kReparseTagSymlink;
  if (target.empty() || target.front() != '/') {
    link.relative = true;
    link.substitute = link.print = Replaced(FromUtf8(target), '/', '\\');
  } else if (const auto drivePath =
                 HasDotComponents(target) ? std::nullopt : posix::DrivePathOf(target)) {
    link.substitute = WString(kNtPrefix) + *drivePath;
    link.print = *drivePath;
  } else {
    link.substitute = link.print = FromUtf8(target);
  }
  return link;
}

// The native target of link data, or false when it names nothing this system can reach.
// `invalid` is set for data no link may hold.
bool NativeTarget(const LinkReparse& link, std::string& target, bool& invalid) {
  invalid = false;
  if (link.relative) {
    const WString relative = Replaced(link.substitute, '\\', '/');
    invalid = relative.find(Char(0)) != WString::npos;
    target = ToUtf8(relative);
    return !invalid;
  }
  WStringView name = link.substitute;
  if (name.substr(0, kNtPrefix.size()) == kNtPrefix) name.remove_prefix(kNtPrefix.size());
  const bool drive = name.size() >= 2 && name[1] == ':';
  if (!drive && (name.empty() || name.front() != '/')) return false;
  size_t missing;
  return posix::ResolvePathLoosely(name, target, missing) == err::kSuccess;
}

// Puts a link where an empty file or folder (or another link) was. A folder with
// content, or a file with data, is refused: turning it into a link would lose them.
DWORD MakeLink(const ResolvedPath& resolved, const EntryStat& entry, const std::string& target) {
  if (S_ISREG(entry.st.stx_mode) && entry.st.stx_size != 0) return err::kDirNotEmpty;
  if (DWORD error = posix::CheckDeleteShare(posix::KeyOf(entry.st))) return error;
  const bool folder = entry.isDirectory && !entry.isLink;
  const char* native = resolved.native.c_str();
  if (folder ? rmdir(native) != 0 : unlink(native) != 0)
    return errno == ENOTEMPTY || errno == EEXIST ? err::kDirNotEmpty : posix::LastError();
  if (symlink(target.c_str(), native) == 0) return err::kSuccess;
  const DWORD error = posix::LastError();
  // Leave an empty item of the same kind, as the caller had it.
  if (folder) {
    mkdir(native, 0777);
  } else if (!entry.isLink) {
    const int fd = open(native, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) close(fd);
  }
  return error;
}

}  // namespace

DWORD GetReparseData(WStringView path, std::vector<uint8_t>& data) {
  data.clear();
  ResolvedPath resolved;
  EntryStat entry;
  if (DWORD error = posix::LocateEntry(path, resolved, entry)) return error;
  if (posix::HasNtfsMetadata(EntryRef{resolved.native}, entry))
    return posix::ReadNtfsReparse(EntryRef{resolved.native}, data);
  if (entry.isLink) {
    std::string target;
    if (DWORD error = ReadLink(resolved.native, target)) return error;
    return posix::BuildLinkReparse(LinkOfTarget(target), data);
  }
  bool present;
  if (DWORD error =
          posix::ReadXattr(EntryRef{resolved.native}, posix::kReparseXattr, data, present))
    return error;
  return present ? err::kSuccess : err::kNotAReparsePoint;
}

DWORD SetReparseData(WStringView path, const std::vector<uint8_t>& data) {
  DWORD tag;
  if (DWORD error = posix::CheckReparseData(data, tag)) return error;
  ResolvedPath resolved;
  EntryStat entry;
  if (DWORD error = posix::LocateEntry(path, resolved, entry)) return error;
  // Any item on the volume may hold reparse data, a link made with symlink() included.
  bool ntfs3g = false;
  if (DWORD error = posix::OnNtfs3gForWrite(EntryRef{resolved.native}, entry, ntfs3g)) return error;
  if (ntfs3g) return posix::WriteNtfsReparse(EntryRef{resolved.native}, data);
  if (tag == kReparseTagSymlink || tag == kReparseTagMountPoint) {
    LinkReparse link;
    if (DWORD error = posix::ParseLinkReparse(data, link)) return error;
    std::string target;
    bool invalid;
    if (NativeTarget(link, target, invalid)) return MakeLink(resolved, entry, target);
    if (invalid) return err::kInvalidReparseData;
  }
  // A link cannot hold the attribute that would keep this data.
  if (entry.isLink) return err::kNotSupported;
  return posix::WriteXattr(EntryRef{resolved.native}, posix::kReparseXattr, data, "reparse data");
}

}  // namespace orv::os
