#include "platform/posix/path_map.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/case_fold.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/volume_table.h"

namespace orv::os::posix {

namespace {

bool IsSeparator(Char c) { return c == '\\' || c == '/'; }

struct LexicalPath {
  std::string root;                // "/" or a drive's folder
  std::vector<std::string> parts;  // normalised components below the root
};

// Appends the components of `text` to `parts`, applying "." and "..".
void AppendParts(WStringView text, std::vector<std::string>& parts) {
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsSeparator(text[i])) ++i;
    size_t end = i;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    const WStringView part = text.substr(i, end - i);
    i = end;
    if (part.empty() || part == ORV_T(".")) continue;
    if (part == ORV_T("..")) {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(ToUtf8(part));
  }
}

void AppendNativeParts(std::string_view text, std::vector<std::string>& parts) {
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == '/') ++i;
    const size_t end = std::min(text.find('/', i), text.size());
    if (end > i) parts.emplace_back(text.substr(i, end - i));
    i = end;
  }
}

// Relative paths start at the current directory; inside a drive's folder that folder is
// the root, so ".." stops there just as it does for "C:\...".
DWORD CurrentDirectoryRoot(LexicalPath& lexical) {
  std::string cwd;
  if (DWORD error = NativeCurrentDirectory(cwd)) return error;
  const auto drive = DriveHolding(cwd);
  lexical.root = drive ? drive->folder : "/";
  const size_t below = drive && drive->folder != "/" ? drive->folder.size() : 0;
  AppendNativeParts(std::string_view(cwd).substr(below), lexical.parts);
  return err::kSuccess;
}

DWORD Split(WStringView path, LexicalPath& lexical) {
  if (path.find(Char(0)) != WStringView::npos) return err::kInvalidName;
  if (path.substr(0, 4) == ORV_T("\\\\?\\")) {
    path.remove_prefix(4);
    if (path.substr(0, 4) == ORV_T("UNC\\")) return err::kPathNotFound;
  }
  if (path.empty()) return err::kPathNotFound;
  if (path.size() >= 2 && path[1] == ':') {
    const auto folder = DriveFolder(path[0]);
    if (!folder) return err::kPathNotFound;
    lexical.root = *folder;
    path.remove_prefix(2);  // "C:dir" is taken as "C:\dir"
  } else if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    return err::kPathNotFound;  // network names have no meaning here
  } else if (IsSeparator(path[0])) {
    lexical.root = "/";
  } else if (DWORD error = CurrentDirectoryRoot(lexical)) {
    return error;
  }
  AppendParts(path, lexical.parts);
  return err::kSuccess;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Native names compared as Windows compares names; ASCII names skip the conversion.
bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b))
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             return AsciiUpper(x) == AsciiUpper(y);
           });
  return CompareNoCase(FromUtf8(a), FromUtf8(b)) == 0;
}

// The entry of `folder` whose name equals `name` ignoring case. When several do, the
// smallest in byte order, so the choice does not depend on directory order.
std::optional<std::string> FindIgnoringCase(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return std::nullopt;
  std::optional<std::string> match;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view candidate = entry->d_name;
    if (candidate == "." || candidate == "..") continue;
    if (SameNameIgnoringCase(candidate, name) && (!match || candidate < *match))
      match = std::string(candidate);
  }
  closedir(dir);
  return match;
}

bool IsDirectory(const std::string& native) {
  struct stat st;
  return stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Join(const std::string& root, const std::vector<std::string>& parts, size_t count) {
  std::string native = root;
  for (size_t i = 0; i < count; ++i) native = JoinNative(native, parts[i]);
  return native;
}

// Follows the components from the root, respelling each one that is missing as given by
// the entry that matches it ignoring case. `found` counts the components that exist.
// When the path exists as spelled, `resolved` keeps the final entry's statx.
DWORD Walk(const LexicalPath& lexical, std::vector<std::string>& parts, size_t& found,
           ResolvedPath& resolved) {
  parts = lexical.parts;
  found = 0;
  std::string native = Join(lexical.root, parts, parts.size());
  if (statx(AT_FDCWD, native.c_str(), AT_SYMLINK_NOFOLLOW, kEntryStatMask, &resolved.st) == 0) {
    resolved.stated = true;
    found = parts.size();
    return err::kSuccess;
  }
  struct stat st;
  if (errno != ENOENT && errno != ENOTDIR) return LastError();
  if (!IsDirectory(lexical.root)) return err::kPathNotFound;
  std::string current = lexical.root;
  for (; found < parts.size(); ++found) {
    std::string next = JoinNative(current, parts[found]);
    if (lstat(next.c_str(), &st) != 0) {
      if (errno == ENOTDIR) return err::kPathNotFound;
      if (errno != ENOENT) return LastError();
      auto match = FindIgnoringCase(current, parts[found]);
      if (!match) break;
      parts[found] = std::move(*match);
      next = JoinNative(current, parts[found]);
    }
    current = std::move(next);
  }
  return err::kSuccess;
}

}  // namespace

DWORD NativeCurrentDirectory(std::string& cwd) {
  cwd.assign(4096, '\0');
  while (getcwd(cwd.data(), cwd.size()) == nullptr) {
    if (errno != ERANGE) return LastError();
    cwd.resize(cwd.size() * 2);
  }
  cwd.resize(cwd.find('\0'));
  return err::kSuccess;
}

bool IsPathName(WStringView name) {
  return name.find_first_of(ORV_T("\\/")) != WStringView::npos ||
         (name.size() >= 2 && name[1] == ':');
}

bool NativeWithin(std::string_view folder, std::string_view path) {
  if (folder == "/") return !path.empty() && path.front() == '/';
  return path.substr(0, folder.size()) == folder &&
         (path.size() == folder.size() || path[folder.size()] == '/');
}

std::string JoinNative(const std::string& folder, const std::string& name) {
  return folder.back() == '/' ? folder + name : folder + '/' + name;
}

DWORD ResolvePath(WStringView path, ResolvedPath& resolved) {
  LexicalPath lexical;
  if (DWORD error = Split(path, lexical)) return error;
  std::vector<std::string> parts;
  size_t found;
  resolved = ResolvedPath{};
  if (DWORD error = Walk(lexical, parts, found, resolved)) return error;
  resolved.isRoot = parts.empty();
  resolved.native = Join(lexical.root, parts, parts.size());
  resolved.exists = found == parts.size();
  if (resolved.isRoot) {
    resolved.parent = resolved.native;
    return resolved.exists ? err::kSuccess : err::kPathNotFound;
  }
  if (found + 1 < parts.size()) return err::kPathNotFound;
  resolved.parent = Join(lexical.root, parts, parts.size() - 1);
  resolved.name = parts.back();
  resolved.givenName = lexical.parts.back();
  // The parent may exist as a file or as a link to nothing: not a folder either way.
  if (!resolved.exists && !IsDirectory(resolved.parent)) return err::kPathNotFound;
  return err::kSuccess;
}

DWORD SpelledPath(WStringView path, std::string& native) {
  LexicalPath lexical;
  if (DWORD error = Split(path, lexical)) return error;
  native = Join(lexical.root, lexical.parts, lexical.parts.size());
  return err::kSuccess;
}

DWORD ResolveExisting(WStringView path, std::string& native) {
  ResolvedPath resolved;
  if (DWORD error = ResolvePath(path, resolved)) return error;
  if (!resolved.exists) return err::kFileNotFound;
  native = std::move(resolved.native);
  return err::kSuccess;
}

DWORD ResolvePathLoosely(WStringView path, std::string& native, size_t& missing) {
  LexicalPath lexical;
  if (DWORD error = Split(path, lexical)) return error;
  std::vector<std::string> parts;
  size_t found;
  ResolvedPath ignored;
  if (DWORD error = Walk(lexical, parts, found, ignored)) return error;
  native = Join(lexical.root, parts, parts.size());
  missing = parts.size() - found;
  return err::kSuccess;
}

}  // namespace orv::os::posix
