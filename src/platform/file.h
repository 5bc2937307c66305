// Files and their metadata, with the semantics of the Windows file API: access rights,
// share modes, creation dispositions, backup semantics, reparse points. Every operation
// that can fail returns a Windows error code (0 on success).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/text.h"

namespace orv::os {

// Access rights (the Windows values).
inline constexpr DWORD kGenericRead = 0x80000000;
inline constexpr DWORD kGenericWrite = 0x40000000;
inline constexpr DWORD kGenericAll = 0x10000000;
inline constexpr DWORD kDeleteAccess = 0x00010000;
inline constexpr DWORD kReadControl = 0x00020000;
inline constexpr DWORD kWriteDac = 0x00040000;
inline constexpr DWORD kWriteOwner = 0x00080000;
inline constexpr DWORD kAccessSystemSecurity = 0x01000000;
inline constexpr DWORD kFileReadAttributes = 0x0080;
inline constexpr DWORD kFileWriteAttributes = 0x0100;

// Share modes.
inline constexpr DWORD kShareRead = 1;
inline constexpr DWORD kShareWrite = 2;
inline constexpr DWORD kShareDelete = 4;

// Creation dispositions.
enum class Disposition : DWORD {
  kCreateNew = 1,         // fails with 80 when the file exists
  kCreateAlways = 2,      // truncates an existing file
  kOpenExisting = 3,      // fails with 2 when the file is missing
  kOpenAlways = 4,
  kTruncateExisting = 5,
};

// Open flags.
inline constexpr DWORD kBackupSemantics = 0x02000000;  // directories may be opened
inline constexpr DWORD kOpenReparsePoint = 0x00200000;  // the link itself, not its target
inline constexpr DWORD kWriteThrough = 0x80000000;

// File attributes.
inline constexpr DWORD kAttrReadOnly = 0x0001;
inline constexpr DWORD kAttrHidden = 0x0002;
inline constexpr DWORD kAttrSystem = 0x0004;
inline constexpr DWORD kAttrDirectory = 0x0010;
inline constexpr DWORD kAttrArchive = 0x0020;
inline constexpr DWORD kAttrNormal = 0x0080;
inline constexpr DWORD kAttrTemporary = 0x0100;
inline constexpr DWORD kAttrSparse = 0x0200;
inline constexpr DWORD kAttrReparsePoint = 0x0400;
inline constexpr DWORD kAttrCompressed = 0x0800;
inline constexpr DWORD kAttrOffline = 0x1000;
inline constexpr DWORD kAttrNotContentIndexed = 0x2000;
inline constexpr DWORD kAttrEncrypted = 0x4000;
inline constexpr DWORD kInvalidAttributes = 0xFFFFFFFF;

// Reparse tags.
inline constexpr DWORD kReparseTagMountPoint = 0xA0000003;
inline constexpr DWORD kReparseTagSymlink = 0xA000000C;
inline constexpr DWORD kMaxReparseDataSize = 16 * 1024;

// Security information selectors.
inline constexpr DWORD kOwnerSecurity = 1;
inline constexpr DWORD kGroupSecurity = 2;
inline constexpr DWORD kDaclSecurity = 4;
inline constexpr DWORD kSaclSecurity = 8;
// Everything a descriptor holds: owner, group, access list and audit list.
inline constexpr DWORD kAllSecurity = kOwnerSecurity | kGroupSecurity | kDaclSecurity | kSaclSecurity;

// Times are Windows file times: 100-nanosecond intervals since 1601-01-01 UTC.
using FileTime = uint64_t;

struct FileTimes {
  FileTime creation = 0;
  FileTime lastAccess = 0;
  FileTime lastWrite = 0;
};

struct FileInfo {
  DWORD attributes = 0;
  FileTimes times;
  uint64_t size = 0;
  DWORD volumeSerial = 0;
  uint64_t fileIndex = 0;
  DWORD links = 0;
};

// What names one file or folder of the system whatever its path: its volume's serial
// number and its index on that volume.
struct FileIdentity {
  DWORD volumeSerial = 0;
  uint64_t fileIndex = 0;
  bool operator==(const FileIdentity&) const = default;
};

enum class SeekFrom : DWORD { kBegin = 0, kCurrent = 1, kEnd = 2 };

class TargetFolder;

// An open file or directory. Move-only; closes itself.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  DWORD Open(WStringView path, DWORD access, DWORD share, Disposition disposition,
             DWORD flagsAndAttributes = kAttrNormal);
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }

  // Reads up to `size` bytes; `done` < `size` only at the end of the file.
  DWORD Read(void* buffer, DWORD size, DWORD& done);
  DWORD Write(const void* buffer, DWORD size, DWORD& done);
  DWORD Seek(int64_t offset, SeekFrom from, uint64_t* position = nullptr);
  DWORD Size(uint64_t& size) const;
  DWORD SetEnd();  // truncates or extends the file at the current position
  // Marks the file sparse, so that stretches never written take no room; Linux file
  // systems need no mark.
  DWORD SetSparse();
  DWORD Flush();
  DWORD GetInfo(FileInfo& info) const;
  DWORD SetTimes(const FileTimes& times);  // a zero time leaves that time unchanged

  // Windows HANDLE on Windows; the backend's own record elsewhere.
  void* NativeHandle() const { return handle_; }

 private:
  friend class TargetFolder;  // creates files relative to the folder it holds open

  void* handle_ = nullptr;
};

// Path operations.
DWORD GetAttributes(WStringView path, DWORD& attributes);
DWORD SetAttributes(WStringView path, DWORD attributes);
DWORD GetInfo(WStringView path, FileInfo& info);  // does not follow a final link
DWORD SetTimes(WStringView path, const FileTimes& times);
DWORD DeleteFile(WStringView path);
DWORD RemoveDirectory(WStringView path);  // empty directories and directory links
DWORD CreateDirectory(WStringView path);  // 183 when it exists
DWORD CreateDirectoryTree(WStringView path);  // creates missing parents; exists is success
DWORD MoveFile(WStringView from, WStringView to, bool replaceExisting);
// Makes the entries of the folder that holds `path` durable, so that a rename or create
// there survives a power loss once this returns. Linux flushes the folder itself; NTFS
// logs its folder changes and needs nothing.
DWORD FlushFolderOf(WStringView path);
// Creates `path` as a new file for reading and writing, shared as `share` says (not at
// all by default). An entry already there (a link or a file left by an earlier attempt)
// is removed first, never followed or written through.
DWORD CreateNewFile(WStringView path, File& file, DWORD share = 0);

// The 8.3 name of a file; empty when it has none.
DWORD GetShortName(WStringView path, WString& shortName);
// The same for the entry `file` has open, which was opened by `path`: the handle
// answers where the system can (Linux), saving a second lookup of the path.
DWORD GetShortName(const File& file, WStringView path, WString& shortName);
DWORD SetShortName(WStringView path, WStringView shortName);

// Security descriptors as opaque self-relative bytes.
DWORD GetSecurity(WStringView path, DWORD which, std::vector<uint8_t>& descriptor);
DWORD SetSecurity(WStringView path, DWORD which, const std::vector<uint8_t>& descriptor);

// Reparse data (the REPARSE_DATA_BUFFER bytes) of a link or reparse point. Setting it
// on an existing empty directory or file makes that item the link.
DWORD GetReparseData(WStringView path, std::vector<uint8_t>& data);
DWORD SetReparseData(WStringView path, const std::vector<uint8_t>& data);

}  // namespace orv::os
