// Files by handle. The handle is a FileRecord: the descriptor, the Windows access the
// caller asked for (enforced here, since the descriptor may allow more) and the
// file's registration in the share table.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/posix/access.h"
#include "platform/posix/created_file.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/metadata.h"
#include "platform/posix/path_map.h"
#include "platform/posix/share_table.h"

namespace orv::os {

namespace {

using posix::EntryRef;
using posix::EntryStat;

// The attributes CreateFile applies to the file it creates.
constexpr DWORD kCreationAttributes = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive |
                                      kAttrTemporary | kAttrOffline | kAttrNotContentIndexed |
                                      kAttrEncrypted;

struct FileRecord {
  int fd = -1;
  DWORD access = 0;
  bool isDirectory = false;
  bool isLink = false;  // the link itself (kOpenReparsePoint): a descriptor for metadata only
  std::string path;     // the native name it was opened by
  posix::FileKey key;
  uint64_t shareTicket = 0;
  // The entry as the open found it; its type and mount stay those of the descriptor.
  EntryStat described{};
  // Opened to read while refusing writers: the size stays the one the open saw, as on
  // Windows, where nobody may change the file while the handle is open.
  bool sizeFixed = false;

  // A link's descriptor cannot reach extended attributes; its path can (and has none).
  EntryRef Ref() const { return EntryRef{path, isLink ? -1 : fd}; }

  ~FileRecord() {
    posix::ReleaseShare(key, shareTicket);
    if (fd >= 0) close(fd);
  }
};

FileRecord* RecordOf(void* handle) { return static_cast<FileRecord*>(handle); }

bool Truncates(Disposition disposition) {
  return disposition == Disposition::kCreateAlways || disposition == Disposition::kTruncateExisting;
}

bool Creates(Disposition disposition) {
  return disposition == Disposition::kCreateNew || disposition == Disposition::kCreateAlways ||
         disposition == Disposition::kOpenAlways;
}

// O_NONBLOCK keeps a FIFO met on a walk from blocking the open; regular files ignore it.
int DataFlags(DWORD access, Disposition disposition, DWORD flags) {
  const bool read = posix::WantsRead(access);
  const bool write = posix::WantsWrite(access) || Truncates(disposition);
  int mode = read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  if (flags & kWriteThrough) mode |= O_DSYNC;
  return mode | O_CLOEXEC | O_NONBLOCK;
}

DWORD Describe(FileRecord& record, EntryStat& entry) {
  if (DWORD error = posix::StatDescriptor(record.fd, record.path, entry)) return error;
  record.key = posix::KeyOf(entry.st);
  record.described = entry;
  return err::kSuccess;
}

DWORD OpenCreated(FileRecord& record, DWORD access, DWORD share, DWORD flags) {
  EntryStat entry;
  if (DWORD error = Describe(record, entry)) return error;
  if (DWORD error = posix::AcquireShare(record.key, access, share, record.shareTicket))
    return error;
  return posix::WriteAttributes(record.Ref(), entry, (flags & kCreationAttributes) | kAttrArchive);
}

// `resolved` is the lookup that found the entry, or null when it was created by someone
// else after the lookup.
DWORD OpenExisting(FileRecord& record, const posix::ResolvedPath* resolved, DWORD access,
                   DWORD share, Disposition disposition, DWORD flags) {
  EntryStat entry;
  if (DWORD error = resolved ? posix::StatResolved(*resolved, entry)
                             : posix::StatPath(record.path, entry))
    return error;
  if (entry.isLink && (flags & kOpenReparsePoint)) {
    if (disposition == Disposition::kCreateNew) return err::kFileExists;
    if (Truncates(disposition)) return err::kAccessDenied;
    record.isLink = true;
    record.fd = open(record.path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  } else if (entry.isDirectory) {
    if (disposition == Disposition::kCreateNew) return err::kFileExists;
    // Folders open only for backup semantics, and can be neither replaced nor truncated.
    if (!(flags & kBackupSemantics) || Truncates(disposition)) return err::kAccessDenied;
    record.isDirectory = true;
    record.fd = open(record.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } else {
    if (disposition == Disposition::kCreateNew) return err::kFileExists;
    if (disposition == Disposition::kTruncateExisting && !posix::WantsWrite(access))
      return err::kAccessDenied;
    // A link followed to nothing is created here for the creating dispositions.
    const int create = Creates(disposition) ? O_CREAT : 0;
    record.fd = open(record.path.c_str(), DataFlags(access, disposition, flags) | create, 0666);
  }
  if (record.fd < 0) return posix::LastError();
  if (DWORD error = Describe(record, entry)) return error;
  const bool changes = posix::WantsWrite(access) || Truncates(disposition);
  // Reading needs no look at the attributes: they refuse only changes.
  if (!record.isLink && !record.isDirectory && changes) {
    DWORD attributes, reparseTag;
    if (DWORD error = posix::ReadAttributes(record.Ref(), entry, attributes, reparseTag))
      return error;
    if (attributes & kAttrReadOnly) return err::kAccessDenied;
    // Replacing a hidden or system file must name those attributes again, as on Windows.
    if (disposition == Disposition::kCreateAlways &&
        (attributes & (kAttrHidden | kAttrSystem) & ~flags))
      return err::kAccessDenied;
    if (DWORD error = posix::AcquireShare(record.key, access, share, record.shareTicket))
      return error;
    // Only now, with the share modes respected, may the content go.
    if (Truncates(disposition) && ftruncate(record.fd, 0) != 0) return posix::LastError();
    if (disposition == Disposition::kCreateAlways)
      return posix::WriteAttributes(record.Ref(), entry,
                                    attributes | (flags & kCreationAttributes) | kAttrArchive);
    return err::kSuccess;
  }
  return posix::AcquireShare(record.key, access, share, record.shareTicket);
}

// Reading an existing entry is what a backup does most: the path as spelled is opened
// at once, and only a miss (a final link, a name spelled in another case, no entry at
// all, no permission) takes the full lookup, which then decides. False in that case.
bool OpenSpelledForReading(WStringView path, DWORD access, DWORD share, DWORD flags,
                           FileRecord& record, DWORD& error) {
  if (posix::WantsWrite(access) || (flags & kOpenReparsePoint)) return false;
  if ((error = posix::SpelledPath(path, record.path))) return true;
  record.fd = open(record.path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (record.fd < 0) return false;
  record.access = access;
  EntryStat entry;
  if ((error = Describe(record, entry))) return true;
  if (entry.isDirectory) {
    // Folders open only for backup semantics.
    if (!(flags & kBackupSemantics)) {
      error = err::kAccessDenied;
      return true;
    }
    record.isDirectory = true;
  }
  error = posix::AcquireShare(record.key, access, share, record.shareTicket);
  return true;
}

DWORD OpenRecord(WStringView path, DWORD access, DWORD share, Disposition disposition, DWORD flags,
                 FileRecord& record) {
  DWORD spelledError;
  if (disposition == Disposition::kOpenExisting &&
      OpenSpelledForReading(path, access, share, flags, record, spelledError))
    return spelledError;
  posix::ResolvedPath resolved;
  if (DWORD error = posix::ResolvePath(path, resolved)) return error;
  record.path = resolved.native;
  record.access = access;
  if (!resolved.exists) {
    if (!Creates(disposition)) return err::kFileNotFound;
    record.fd =
        open(record.path.c_str(), DataFlags(access, disposition, flags) | O_CREAT | O_EXCL, 0666);
    if (record.fd >= 0) return OpenCreated(record, access, share, flags);
    // Created by someone else since the lookup: open it as an existing file.
    if (errno != EEXIST) return posix::LastError();
    return OpenExisting(record, nullptr, access, share, disposition, flags);
  }
  return OpenExisting(record, &resolved, access, share, disposition, flags);
}

}  // namespace

DWORD posix::AdoptCreatedFile(int fd, std::string native, DWORD access, void*& handle) {
  auto record = std::make_unique<FileRecord>();
  record->fd = fd;
  record->path = std::move(native);
  record->access = access;
  if (DWORD error = OpenCreated(*record, access, 0, kAttrNormal)) return error;
  handle = record.release();
  return err::kSuccess;
}

File::~File() { Close(); }

File::File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

DWORD File::Open(WStringView path, DWORD access, DWORD share, Disposition disposition,
                 DWORD flagsAndAttributes) {
  Close();
  if (disposition < Disposition::kCreateNew || disposition > Disposition::kTruncateExisting ||
      (share & ~(kShareRead | kShareWrite | kShareDelete)))
    return err::kInvalidParameter;
  auto record = std::make_unique<FileRecord>();
  if (DWORD error = OpenRecord(path, access, share, disposition, flagsAndAttributes, *record))
    return error;
  record->sizeFixed = !(share & kShareWrite) && !posix::WantsWrite(access) &&
                      !Truncates(disposition) && S_ISREG(record->described.st.stx_mode);
  handle_ = record.release();
  return err::kSuccess;
}

void File::Close() {
  delete RecordOf(handle_);
  handle_ = nullptr;
}

DWORD File::Read(void* buffer, DWORD size, DWORD& done) {
  done = 0;
  FileRecord* record = RecordOf(handle_);
  if (record == nullptr) return err::kInvalidHandle;
  if (record->isDirectory || record->isLink) return err::kInvalidFunction;
  if (!posix::WantsRead(record->access)) return err::kAccessDenied;
  auto* bytes = static_cast<char*>(buffer);
  while (done < size) {
    const ssize_t got = read(record->fd, bytes + done, size - done);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      return posix::LastError();
    }
    done += static_cast<DWORD>(got);
  }
  return err::kSuccess;
}

DWORD File::Write(const void* buffer, DWORD size, DWORD& done) {
  done = 0;
  FileRecord* record = RecordOf(handle_);
  if (record == nullptr) return err::kInvalidHandle;
  if (record->isDirectory || record->isLink) return err::kInvalidFunction;
  if (!posix::WantsWrite(record->access)) return err::kAccessDenied;
  const auto* bytes = static_cast<const char*>(buffer);
  while (done < size) {
    const ssize_t written = write(record->fd, bytes + done, size - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return posix::LastError();
    }
    done += static_cast<DWORD>(written);
  }
  return err::kSuccess;
}

DWORD File::Seek(int64_t offset, SeekFrom from, uint64_t* position) {
  FileRecord* record = RecordOf(handle_);
  if (record == nullptr) return err::kInvalidHandle;
  if (record->isLink) return err::kInvalidFunction;
  int whence;
  switch (from) {
    case SeekFrom::kBegin:
      whence = SEEK_SET;
      break;
    case SeekFrom::kCurrent:
      whence = SEEK_CUR;
      break;
    case SeekFrom::kEnd:
      whence = SEEK_END;
      break;
    default:
      return err::kInvalidParameter;
  }
  const off_t result = lseek(record->fd, offset, whence);
  if (result < 0) return posix::LastError();
  if (position) *position = static_cast<uint64_t>(result);
  return err::kSuccess;
}

DWORD File::Size(uint64_t& size) const {
  size = 0;
  FileRecord* record = RecordOf(handle_);
  if (record == nullptr) return err::kInvalidHandle;
  if (record->sizeFixed) {
    size = record->described.st.stx_size;
    return err::kSuccess;
  }
  EntryStat entry;
  if (DWORD error = posix::StatDescriptor(record->fd, record->path, entry)) return error;
  if (S_ISREG(entry.st.stx_mode)) size = entry.st.stx_size;
  return err::kSuccess;
}

DWORD File::SetEnd() {
  FileRecord* record = RecordOf(handle_);
  if (record == nullptr) return err::kInvalidHandle;
  if (record->isDirectory || record->isLink) return err::kInvalidFunction;
  if (!posix::WantsWrite(record->access)) return err::kAccessDenied;
  const off_t position = lseek(record->fd, 0, SEEK_CUR);
  if (position < 0 || ftruncate(record->fd, position) != 0) return posix::LastError();
  return err::kSuccess;
}

DWORD File::SetSparse() { return handle_ != nullptr ? err::kSuccess : err::kInvalidHandle; }

DWORD File::Flush() {
  FileRecord* record = RecordOf(handle_);
  if (record == nullptr) return err::kInvalidHandle;
  if (record->isLink) return err::kInvalidFunction;
  if (!posix::WantsWrite(record->access)) return err::kAccessDenied;
  return fsync(record->fd) == 0 ? err::kSuccess : posix::LastError();
}

DWORD File::GetInfo(FileInfo& info) const {
  FileRecord* record = RecordOf(handle_);
  if (record == nullptr) return err::kInvalidHandle;
  EntryStat entry;
  if (DWORD error = posix::StatDescriptor(record->fd, record->path, entry)) return error;
  return posix::ReadInfo(record->Ref(), entry, info);
}

DWORD GetShortName(const File& file, WStringView path, WString& shortName) {
  const FileRecord* record = RecordOf(file.NativeHandle());
  if (record == nullptr) return GetShortName(path, shortName);
  return posix::ReadShortName(record->Ref(), record->described, shortName);
}

DWORD File::SetTimes(const FileTimes& times) {
  FileRecord* record = RecordOf(handle_);
  if (record == nullptr) return err::kInvalidHandle;
  if (!posix::WantsWriteAttributes(record->access)) return err::kAccessDenied;
  EntryStat entry;
  if (DWORD error = posix::StatDescriptor(record->fd, record->path, entry)) return error;
  return posix::WriteTimes(record->Ref(), entry, times);
}

}  // namespace orv::os
