// Path operations on files and folders, with the Windows rules for read-only items,
// items held open without share-delete, and names that already exist.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/metadata.h"
#include "platform/posix/path_map.h"
#include "platform/posix/share_table.h"

namespace orv::os {

namespace {

using posix::EntryRef;
using posix::EntryStat;
using posix::ResolvedPath;

bool IsReadOnly(const ResolvedPath& resolved, const EntryStat& entry, DWORD& error) {
  DWORD attributes, reparseTag;
  error = posix::ReadAttributes(EntryRef{resolved.native}, entry, attributes, reparseTag);
  return error == err::kSuccess && (attributes & kAttrReadOnly);
}

// Windows refuses to delete a read-only item or one another handle holds without
// share-delete.
DWORD CheckDeletable(const ResolvedPath& resolved, const EntryStat& entry) {
  if (resolved.isRoot) return err::kAccessDenied;
  DWORD error;
  if (IsReadOnly(resolved, entry, error)) return err::kAccessDenied;
  if (error) return error;
  return posix::CheckDeleteShare(posix::KeyOf(entry.st));
}

// Renames without replacing; file systems that cannot promise that get a plain rename
// after the check that the target is absent.
DWORD RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    return err::kSuccess;
  if (errno == EEXIST) return err::kAlreadyExists;
  if (errno != EINVAL && errno != ENOSYS) return posix::LastError();
  struct stat st;
  if (lstat(to.c_str(), &st) == 0) return err::kAlreadyExists;
  return rename(from.c_str(), to.c_str()) == 0 ? err::kSuccess : posix::LastError();
}

// Replaces an existing target, which ends up with the name as the caller spelled it
// even when it existed under another case.
DWORD Replace(const std::string& from, const EntryStat& source, const ResolvedPath& target,
              const EntryStat& existing) {
  // A folder can neither be replaced nor replace something, and an item in use or
  // marked read-only cannot be replaced.
  if (existing.isDirectory || source.isDirectory) return err::kAccessDenied;
  DWORD error;
  if (IsReadOnly(target, existing, error)) return err::kAccessDenied;
  if (error) return error;
  if (posix::IsOpenHere(posix::KeyOf(existing.st))) return err::kAccessDenied;
  const std::string spelled = posix::JoinNative(target.parent, target.givenName);
  if (rename(from.c_str(), spelled.c_str()) != 0) return posix::LastError();
  if (spelled != target.native && unlink(target.native.c_str()) != 0) return posix::LastError();
  return err::kSuccess;
}

}  // namespace

DWORD GetAttributes(WStringView path, DWORD& attributes) {
  attributes = kInvalidAttributes;
  ResolvedPath resolved;
  EntryStat entry;
  if (DWORD error = posix::LocateEntry(path, resolved, entry)) return error;
  DWORD reparseTag;
  return posix::ReadAttributes(EntryRef{resolved.native}, entry, attributes, reparseTag);
}

DWORD SetAttributes(WStringView path, DWORD attributes) {
  ResolvedPath resolved;
  EntryStat entry;
  if (DWORD error = posix::LocateEntry(path, resolved, entry)) return error;
  return posix::WriteAttributes(EntryRef{resolved.native}, entry, attributes);
}

DWORD GetInfo(WStringView path, FileInfo& info) {
  ResolvedPath resolved;
  EntryStat entry;
  if (DWORD error = posix::LocateEntry(path, resolved, entry)) return error;
  return posix::ReadInfo(EntryRef{resolved.native}, entry, info);
}

DWORD SetTimes(WStringView path, const FileTimes& times) {
  ResolvedPath resolved;
  EntryStat entry;
  if (DWORD error = posix::LocateEntry(path, resolved, entry)) return error;
  return posix::WriteTimes(EntryRef{resolved.native}, entry, times);
}

// A folder, or a link to one, is removed with RemoveDirectory.
DWORD DeleteFile(WStringView path) {
  ResolvedPath resolved;
  EntryStat entry;
  if (DWORD error = posix::LocateEntry(path, resolved, entry)) return error;
  if (entry.isDirectory) return err::kAccessDenied;
  if (DWORD error = CheckDeletable(resolved, entry)) return error;
  return unlink(resolved.native.c_str()) == 0 ? err::kSuccess : posix::LastError();
}

DWORD RemoveDirectory(WStringView path) {
  ResolvedPath resolved;
  EntryStat entry;
  if (DWORD error = posix::LocateEntry(path, resolved, entry)) return error;
  if (!entry.isDirectory) return err::kDirectory;
  if (DWORD error = CheckDeletable(resolved, entry)) return error;
  if (entry.isLink)
    return unlink(resolved.native.c_str()) == 0 ? err::kSuccess : posix::LastError();
  if (rmdir(resolved.native.c_str()) == 0) return err::kSuccess;
  // POSIX allows either code for a folder that is not empty.
  return errno == ENOTEMPTY || errno == EEXIST ? err::kDirNotEmpty : posix::LastError();
}

DWORD CreateDirectory(WStringView path) {
  ResolvedPath resolved;
  if (DWORD error = posix::ResolvePath(path, resolved)) return error;
  if (resolved.exists) return err::kAlreadyExists;
  if (mkdir(resolved.native.c_str(), 0777) == 0) return err::kSuccess;
  return errno == EEXIST ? err::kAlreadyExists : posix::LastError();
}

DWORD CreateDirectoryTree(WStringView path) {
  std::string native;
  size_t missing;
  if (DWORD error = posix::ResolvePathLoosely(path, native, missing)) return error;
  // The missing folders, innermost last: cut the path after each of its last separators.
  std::vector<size_t> ends;
  for (size_t end = native.size(); ends.size() < missing; end = native.rfind('/', end - 1))
    ends.push_back(end);
  for (auto end = ends.rbegin(); end != ends.rend(); ++end) {
    const std::string folder = native.substr(0, *end);
    if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) return posix::LastError();
  }
  struct stat st;
  if (stat(native.c_str(), &st) != 0) return posix::LastError();
  return S_ISDIR(st.st_mode) ? err::kSuccess : err::kAlreadyExists;
}

DWORD MoveFile(WStringView from, WStringView to, bool replaceExisting) {
  ResolvedPath source;
  EntryStat sourceEntry;
  if (DWORD error = posix::LocateEntry(from, source, sourceEntry)) return error;
  if (source.isRoot) return err::kAccessDenied;
  if (DWORD error = posix::CheckDeleteShare(posix::KeyOf(sourceEntry.st))) return error;
  ResolvedPath target;
  if (DWORD error = posix::ResolvePath(to, target)) return error;
  if (target.isRoot) return err::kAccessDenied;
  if (!target.exists) return RenameNoReplace(source.native, target.native);
  EntryStat targetEntry;
  if (DWORD error = posix::StatPath(target.native, targetEntry)) return error;
  if (posix::KeyOf(targetEntry.st) == posix::KeyOf(sourceEntry.st)) {
    // The same item under another case: a change of case only.
    const std::string spelled = posix::JoinNative(target.parent, target.givenName);
    if (spelled == source.native) return err::kSuccess;
    return rename(source.native.c_str(), spelled.c_str()) == 0 ? err::kSuccess : posix::LastError();
  }
  if (!replaceExisting) return err::kAlreadyExists;
  return Replace(source.native, sourceEntry, target, targetEntry);
}

DWORD FlushFolderOf(WStringView path) {
  ResolvedPath resolved;
  if (DWORD error = posix::ResolvePath(path, resolved)) return error;
  const int folder = open(resolved.parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return posix::LastError();
  // A file system that cannot flush a folder (EINVAL, ENOTSUP) has nothing to make
  // durable that way.
  const bool flushed = fsync(folder) == 0 || errno == EINVAL || errno == ENOTSUP;
  const DWORD error = flushed ? err::kSuccess : posix::LastError();
  close(folder);
  return error;
}

}  // namespace orv::os
