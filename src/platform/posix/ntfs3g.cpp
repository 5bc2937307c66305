#include "platform/posix/ntfs3g.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>

#include <cerrno>
#include <mutex>
#include <utility>

#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/notice.h"
#include "platform/little_endian.h"
#include "platform/posix/errno_map.h"

namespace orv::os::posix {

namespace {

// The bits that follow from the kind of entry; the driver decides them itself.
constexpr DWORD kTypeAttributes = kAttrDirectory | kAttrReparsePoint;

constexpr size_t kTimesRead = 3;  // creation, last write, last access; the change time stays

template <typename T>
T LoadBig(const uint8_t* bytes) {
  T value = 0;
  for (size_t i = 0; i < sizeof(T); ++i) value = static_cast<T>((value << 8) | bytes[i]);
  return value;
}

template <typename T>
void AppendBig(std::vector<uint8_t>& out, T value) {
  for (size_t i = sizeof(T); i-- > 0;) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

enum class Probe { kPresent, kAbsent, kUnknown };

// Whether the file system answers for the attribute `name` of the entry; kUnknown when
// the question itself failed (a stale entry, an I/O error), which must not be cached,
// with its errno in `failure`.
Probe ProbeXattr(const EntryRef& ref, const char* name, int& failure) {
  const ssize_t size = ref.fd >= 0 ? fgetxattr(ref.fd, name, nullptr, 0)
                                   : lgetxattr(ref.path.c_str(), name, nullptr, 0);
  if (size >= 0) return Probe::kPresent;
  if (errno == ENOTSUP || errno == ENODATA) return Probe::kAbsent;
  failure = errno;
  return Probe::kUnknown;
}

using MountKey = std::pair<uint64_t, uint64_t>;  // device, mount identifier

MountKey KeyOfMount(const struct statx& st) {
  const bool haveMount = st.stx_mask & kMountIdMask;
  return {makedev(st.stx_dev_major, st.stx_dev_minor), haveMount ? st.stx_mnt_id : 0};
}

// What the probe found, per mount: a few slots in static storage, reused round-robin.
// It needs no constructor and owns no memory, so it answers while the library is being
// loaded, before its globals are initialised, and while they are torn down, and
// unloading the library leaves nothing behind.
struct MountTable {
  static constexpr size_t kSlots = 32;
  std::mutex lock;
  MountKey keys[kSlots] = {};
  bool answers[kSlots] = {};
  size_t used = 0;
  size_t next = 0;

  const bool* Find(const MountKey& key) const {
    for (size_t i = 0; i < used; ++i)
      if (keys[i] == key) return &answers[i];
    return nullptr;
  }
  void Remember(const MountKey& key, bool answer) {
    const size_t slot = used < kSlots ? used++ : next++ % kSlots;
    keys[slot] = key;
    answers[slot] = answer;
  }
};

constinit MountTable g_mounts;

// Giving an item reparse data, or taking it away, changes its type under the kernel's
// cached view of it: the first look after that fails with EIO while the kernel drops
// the stale entry. Looks again until the new type shows.
void Settle(const std::string& path) {
  struct stat st;
  for (int attempt = 0; attempt < 3 && lstat(path.c_str(), &st) != 0 && errno == EIO; ++attempt) {
  }
}

}  // namespace

namespace {

// Whether the entry's volume is mounted through ntfs-3g: 0 with the answer, kept per
// mount, or the error that kept the driver from telling.
DWORD ProbeNtfs3g(const EntryRef& ref, const EntryStat& entry, bool& ntfs3g) {
  const MountKey key = KeyOfMount(entry.st);
  {
    std::lock_guard<std::mutex> lock(g_mounts.lock);
    if (const bool* known = g_mounts.Find(key)) {
      ntfs3g = *known;
      return err::kSuccess;
    }
  }
  // The kernel's own NTFS driver shows the attributes too, but not the times. A probe
  // that fails (ntfs-3g answers EIO for an entry its cache has not settled) is asked
  // again.
  Probe attributes = Probe::kUnknown, times = Probe::kUnknown;
  int failure = EIO;
  for (int attempt = 0; attempt < 3 && (attributes == Probe::kUnknown || times == Probe::kUnknown);
       ++attempt) {
    if (attempt > 0) Settle(ref.path);
    attributes = ProbeXattr(ref, kNtfsAttributesXattr, failure);
    times = attributes == Probe::kPresent ? ProbeXattr(ref, kNtfsTimesXattr, failure) : Probe::kAbsent;
  }
  if (attributes == Probe::kUnknown || times == Probe::kUnknown) {
    Notice(FromUtf8("Cannot tell whether " + ref.path + " keeps NTFS metadata"));
    return ErrnoToWindows(failure);
  }
  ntfs3g = times == Probe::kPresent;
  std::lock_guard<std::mutex> lock(g_mounts.lock);
  g_mounts.Remember(key, ntfs3g);
  return err::kSuccess;
}

}  // namespace

bool OnNtfs3g(const EntryRef& ref, const EntryStat& entry) {
  bool ntfs3g = false;
  return ProbeNtfs3g(ref, entry, ntfs3g) == err::kSuccess && ntfs3g;
}

DWORD OnNtfs3gForWrite(const EntryRef& ref, const EntryStat& entry, bool& ntfs3g) {
  ntfs3g = false;
  return ProbeNtfs3g(ref, entry, ntfs3g);
}

bool HasNtfsMetadata(const EntryRef& ref, const EntryStat& entry) {
  bool ntfs = false;
  return NtfsMetadataForWrite(ref, entry, ntfs) == err::kSuccess && ntfs;
}

DWORD NtfsMetadataForWrite(const EntryRef& ref, const EntryStat& entry, bool& ntfs) {
  ntfs = false;
  bool ntfs3g = false;
  if (const DWORD error = ProbeNtfs3g(ref, entry, ntfs3g)) return error;
  if (!ntfs3g) return err::kSuccess;
  int failure = EIO;
  const Probe reparse = entry.isLink ? ProbeXattr(ref, kNtfsReparseXattr, failure) : Probe::kPresent;
  if (reparse == Probe::kUnknown) return ErrnoToWindows(failure);
  ntfs = reparse == Probe::kPresent;
  return err::kSuccess;
}

DWORD ReadNtfsAttributes(const EntryRef& ref, DWORD& attributes, DWORD& reparseTag) {
  attributes = kAttrNormal;
  reparseTag = 0;
  std::vector<uint8_t> value;
  bool present;
  if (DWORD error = ReadXattr(ref, kNtfsAttributesXattr, value, present)) return error;
  if (present && value.size() == sizeof(DWORD)) attributes = LoadBig<DWORD>(value.data());
  if (attributes == 0) attributes = kAttrNormal;
  if (!(attributes & kAttrReparsePoint)) return err::kSuccess;
  if (DWORD error = ReadXattr(ref, kNtfsReparseXattr, value, present)) return error;
  if (present && value.size() >= sizeof(DWORD)) reparseTag = LoadLE<DWORD>(value.data());
  return err::kSuccess;
}

DWORD WriteNtfsAttributes(const EntryRef& ref, DWORD attributes) {
  std::vector<uint8_t> value;
  AppendBig<DWORD>(value, attributes & ~kTypeAttributes);
  return WriteXattr(ref, kNtfsAttributesXattr, value, "attributes");
}

DWORD ReadNtfsTimes(const EntryRef& ref, FileTimes& times) {
  std::vector<uint8_t> value;
  bool present;
  if (DWORD error = ReadXattr(ref, kNtfsTimesXattr, value, present)) return error;
  if (!present || value.size() < kTimesRead * sizeof(FileTime)) return err::kSuccess;
  times.creation = LoadBig<FileTime>(&value[0]);
  times.lastWrite = LoadBig<FileTime>(&value[sizeof(FileTime)]);
  times.lastAccess = LoadBig<FileTime>(&value[2 * sizeof(FileTime)]);
  return err::kSuccess;
}

DWORD WriteNtfsTimes(const EntryRef& ref, const FileTimes& times) {
  if (times.creation == 0 && times.lastWrite == 0 && times.lastAccess == 0) return err::kSuccess;
  FileTimes merged;
  if (DWORD error = ReadNtfsTimes(ref, merged)) return error;
  if (times.creation != 0) merged.creation = times.creation;
  if (times.lastWrite != 0) merged.lastWrite = times.lastWrite;
  if (times.lastAccess != 0) merged.lastAccess = times.lastAccess;
  std::vector<uint8_t> value;
  AppendBig<FileTime>(value, merged.creation);
  AppendBig<FileTime>(value, merged.lastWrite);
  AppendBig<FileTime>(value, merged.lastAccess);
  return WriteXattr(ref, kNtfsTimesXattr, value, "times");
}

DWORD ReadNtfsShortName(const EntryRef& ref, WString& shortName) {
  shortName.clear();
  std::vector<uint8_t> value;
  bool present;
  if (DWORD error = ReadXattr(ref, kNtfsShortNameXattr, value, present)) return error;
  WString name =
      FromUtf8(std::string_view(reinterpret_cast<const char*>(value.data()), value.size()));
  // Anything longer than a short name can be is not one: report none.
  if (name.size() <= kMaxShortName) shortName = std::move(name);
  return err::kSuccess;
}

DWORD WriteNtfsShortName(const EntryRef& ref, WStringView shortName) {
  if (shortName.empty()) return RemoveXattr(ref, kNtfsShortNameXattr);
  const std::string name = ToUtf8(shortName);
  return WriteXattr(ref, kNtfsShortNameXattr, std::vector<uint8_t>(name.begin(), name.end()),
                    "short name");
}

DWORD ReadNtfsReparse(const EntryRef& ref, std::vector<uint8_t>& data) {
  bool present;
  if (DWORD error = ReadXattr(ref, kNtfsReparseXattr, data, present)) return error;
  return present ? err::kSuccess : err::kNotAReparsePoint;
}

DWORD WriteNtfsReparse(const EntryRef& ref, const std::vector<uint8_t>& data) {
  const int result =
      ref.fd >= 0 ? fsetxattr(ref.fd, kNtfsReparseXattr, data.data(), data.size(), 0)
                  : lsetxattr(ref.path.c_str(), kNtfsReparseXattr, data.data(), data.size(), 0);
  const int error = result == 0 ? 0 : errno;
  Settle(ref.path);
  if (error == 0) return err::kSuccess;
  // The stale view can fail the call itself after the driver made the change.
  if (error == EIO) {
    std::vector<uint8_t> stored;
    if (ReadNtfsReparse(EntryRef{ref.path}, stored) == err::kSuccess && stored == data)
      return err::kSuccess;
  }
  return ErrnoToWindows(error);
}

}  // namespace orv::os::posix
