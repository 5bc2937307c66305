// The table lives in the environment variable VANTREL_DRIVES ("C=/mnt/c;D=/srv/d"): every
// change is written back to it and a change made there is read again, so that every module
// of the process that holds its own copy of this code (the virtual-disk library maps the
// letters of the images it mounts) sees one table. Entries that are not a letter, "=" and
// an absolute folder are ignored; a folder whose name holds ";" cannot be shared that way
// and stays in this module's table alone. The size of the partition a letter stands for,
// where the disk service knows it, travels the same way in VANTREL_DRIVE_SIZES
// ("C=1073741824"); a size whose letter names no folder is ignored.
#include "platform/posix/volume_table.h"

#include <unistd.h>

#include <array>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/path_map.h"
#include "platform/volume.h"

namespace orv::os {

namespace posix {

namespace {

std::optional<size_t> LetterIndex(Char letter) {
  if (letter >= 'a' && letter <= 'z') return letter - 'a';
  if (letter >= 'A' && letter <= 'Z') return letter - 'A';
  return std::nullopt;
}

std::string WithoutTrailingSlash(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

class DriveTable {
 public:
  static DriveTable& Instance() {
    static DriveTable table;
    return table;
  }

  // A letter given another folder (or none) loses the size it had.
  void Set(size_t index, std::string folder) {
    std::lock_guard lock(mutex_);
    Sync();
    if (folders_[index] != folder) sizes_[index] = 0;
    folders_[index] = std::move(folder);
    Publish();
  }

  // False when the letter names no folder.
  bool SetSize(size_t index, uint64_t bytes) {
    std::lock_guard lock(mutex_);
    Sync();
    if (folders_[index].empty()) return false;
    sizes_[index] = bytes;
    Publish();
    return true;
  }

  std::string Get(size_t index) {
    std::lock_guard lock(mutex_);
    Sync();
    return folders_[index];
  }

  // The letter mapped to exactly `folder`, else the first unmapped letter from C on,
  // now mapped to it; nothing when every letter is taken.
  std::optional<Char> LetterFor(const std::string& folder) {
    std::lock_guard lock(mutex_);
    Sync();
    for (size_t i = 0; i < folders_.size(); ++i)
      if (folders_[i] == folder) return static_cast<Char>('A' + i);
    for (size_t i = 2; i < folders_.size(); ++i) {
      if (!folders_[i].empty()) continue;
      folders_[i] = folder;
      Publish();
      return static_cast<Char>('A' + i);
    }
    return std::nullopt;
  }

  std::optional<DriveMatch> DriveHolding(std::string_view native) {
    std::lock_guard lock(mutex_);
    Sync();
    std::optional<DriveMatch> best;
    for (size_t i = 0; i < folders_.size(); ++i) {
      const std::string& folder = folders_[i];
      if (folder.empty() || !NativeWithin(folder, native)) continue;
      if (!best || folder.size() > best->folder.size())
        best = DriveMatch{static_cast<Char>('A' + i), folder, sizes_[i]};
    }
    return best;
  }

 private:
  DriveTable() { Sync(); }

  // Reads the table again when the environment no longer holds what this module wrote
  // or read last.
  void Sync() {
    const std::string folders = Variable(kFolders), sizes = Variable(kSizes);
    if (published_ && folders == published_->first && sizes == published_->second) return;
    published_ = {folders, sizes};
    folders_ = {};
    sizes_ = {};
    ForEachEntry(folders, [this](size_t index, std::string_view value) {
      if (!value.empty() && value.front() == '/')
        folders_[index] = WithoutTrailingSlash(std::string(value));
    });
    ForEachEntry(sizes, [this](size_t index, std::string_view value) {
      uint64_t bytes = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), bytes);
      if (error == std::errc{} && end == value.data() + value.size() && !folders_[index].empty())
        sizes_[index] = bytes;
    });
  }

  void Publish() {
    std::string folders, sizes;
    for (size_t i = 0; i < folders_.size(); ++i) {
      if (folders_[i].empty() || folders_[i].find(';') != std::string::npos) continue;
      AddEntry(folders, i, folders_[i]);
      if (sizes_[i] != 0) AddEntry(sizes, i, std::to_string(sizes_[i]));
    }
    setenv(kFolders, folders.c_str(), 1);
    setenv(kSizes, sizes.c_str(), 1);
    published_ = {folders, sizes};
  }

  static std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
  }

  // Calls `use(index, value)` for every "X=value" entry of a ";"-separated list whose X
  // is a letter.
  template <typename Use>
  static void ForEachEntry(std::string_view rest, Use use) {
    while (!rest.empty()) {
      const size_t end = rest.find(';');
      const std::string_view entry = rest.substr(0, end);
      rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
      if (entry.size() < 3 || entry[1] != '=') continue;
      if (const auto index = LetterIndex(static_cast<Char>(entry[0]))) use(*index, entry.substr(2));
    }
  }

  static void AddEntry(std::string& list, size_t index, const std::string& value) {
    if (!list.empty()) list += ';';
    list += static_cast<char>('A' + index);
    list += '=';
    list += value;
  }

  static constexpr const char* kFolders = "VANTREL_DRIVES";
  static constexpr const char* kSizes = "VANTREL_DRIVE_SIZES";

  mutable std::mutex mutex_;
  std::array<std::string, 26> folders_;
  std::array<uint64_t, 26> sizes_{};
  // The two variables as this module wrote or read them last.
  std::optional<std::pair<std::string, std::string>> published_;
};

}  // namespace

std::optional<std::string> DriveFolder(Char letter) {
  const auto index = LetterIndex(letter);
  if (!index) return std::nullopt;
  std::string folder = DriveTable::Instance().Get(*index);
  if (folder.empty()) return std::nullopt;
  return folder;
}

std::optional<DriveMatch> DriveHolding(std::string_view native) {
  return DriveTable::Instance().DriveHolding(native);
}

WString DriveRootFor(std::string_view mountPoint) {
  const std::string folder = WithoutTrailingSlash(std::string(mountPoint));
  const std::optional<Char> letter = DriveTable::Instance().LetterFor(folder);
  if (!letter) return FromUtf8(folder);
  return WString{*letter, ':', '\\'};
}

std::optional<WString> DrivePathOf(std::string_view native) {
  const auto match = DriveHolding(native);
  if (!match) return std::nullopt;
  WString path{match->letter, ':', '\\'};
  for (Char c : FromUtf8(native.substr(match->folder == "/" ? 0 : match->folder.size())))
    path += c == '/' ? Char('\\') : c;
  // Separators already in place: the one after "C:" and any run of them in `native`.
  WString clean;
  for (Char c : path)
    if (!(c == '\\' && !clean.empty() && clean.back() == '\\')) clean += c;
  if (clean.size() > 3 && clean.back() == '\\') clean.pop_back();
  return clean;
}

}  // namespace posix

// An empty folder removes the letter from the table, and its size with it.
DWORD SetDriveFolder(Char letter, WStringView nativeFolder) {
  const auto index = posix::LetterIndex(letter);
  if (!index) return err::kInvalidParameter;
  std::string folder = ToUtf8(nativeFolder);
  if (!folder.empty() && folder.front() != '/') return err::kInvalidParameter;
  if (folder.find('\0') != std::string::npos) return err::kInvalidName;
  posix::DriveTable::Instance().Set(*index, posix::WithoutTrailingSlash(std::move(folder)));
  return err::kSuccess;
}

DWORD SetDriveSize(Char letter, uint64_t bytes) {
  const auto index = posix::LetterIndex(letter);
  if (!index) return err::kInvalidParameter;
  return posix::DriveTable::Instance().SetSize(*index, bytes) ? err::kSuccess : err::kInvalidDrive;
}

DWORD DrivePathOfFolder(WStringView folder, WString& drivePath) {
  drivePath.clear();
  std::string native = ToUtf8(folder);
  if (native.empty() || native.front() != '/') {
    char current[PATH_MAX];
    if (getcwd(current, sizeof current) == nullptr) return posix::LastError();
    native = std::string(current) + "/" + native;
  }
  const auto path = posix::DrivePathOf(native);
  if (!path) return err::kInvalidDrive;
  drivePath = *path;
  return err::kSuccess;
}

WString GetDriveFolder(Char letter) {
  const auto folder = posix::DriveFolder(letter);
  return folder ? FromUtf8(*folder) : WString{};
}

}  // namespace orv::os
