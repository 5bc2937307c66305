// Raw streams of encrypted files on NTFS volumes mounted through ntfs-3g with its raw
// encrypted-file option (efs_raw). There the driver gives an encrypted file's data as
// it lies on the volume, padded to 512 bytes and followed by two bytes that say how
// much padding there is, and its encryption metadata ($EFS) as system.ntfs_efsinfo.
// The raw stream is an 8-byte mark "VTEFSNT3", the length of the $EFS value (32-bit
// little-endian), that value, then the data as the driver gives it. Importing writes
// the data first and then the $EFS value, which makes the driver mark the file
// encrypted and take the padding off again.
#include <sys/xattr.h>

#include <cstring>
#include <vector>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/little_endian.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/ntfs3g.h"
#include "platform/whole_io.h"

namespace orv::os::posix {

namespace {

constexpr char kNtfsRawMark[8] = {'V', 'T', 'E', 'F', 'S', 'N', 'T', '3'};
constexpr char kEfsXattr[] = "system.ntfs_efsinfo";
// An $EFS value holds a few certificates; anything far beyond is no $EFS value.
constexpr uint32_t kMaxEfsSize = 1024 * 1024;

DWORD Export(const std::vector<uint8_t>& efs, WStringView source, WStringView staging) {
  File in, out;
  if (DWORD error = in.Open(source, kGenericRead, kShareRead, Disposition::kOpenExisting))
    return error;
  if (DWORD error = out.Open(staging, kGenericWrite, 0, Disposition::kCreateAlways)) return error;
  std::vector<uint8_t> header(kNtfsRawMark, kNtfsRawMark + sizeof kNtfsRawMark);
  AppendLE<uint32_t>(header, static_cast<uint32_t>(efs.size()));
  header.insert(header.end(), efs.begin(), efs.end());
  if (DWORD error = WriteAll(out, header.data(), static_cast<DWORD>(header.size()))) return error;
  return CopyToEnd(in, out);
}

// Reads the $EFS value that follows the mark.
DWORD ReadEfs(File& in, std::vector<uint8_t>& efs) {
  uint8_t size[4];
  DWORD done = 0;
  if (DWORD error = in.Read(size, sizeof size, done)) return error;
  const uint32_t length = LoadLE<uint32_t>(size);
  if (done != sizeof size || length < sizeof size || length > kMaxEfsSize) return err::kInvalidData;
  efs.resize(length);
  if (DWORD error = in.Read(efs.data(), length, done)) return error;
  return done == length ? err::kSuccess : err::kInvalidData;
}

// Makes the new encrypted file `target` from the data that follows the $EFS value; an
// existing entry of that name is never opened. `created` tells whether it was made.
DWORD Create(File& in, const std::vector<uint8_t>& efs, WStringView target, bool& created) {
  {
    File out;
    if (DWORD error = out.Open(target, kGenericWrite, 0, Disposition::kCreateNew)) return error;
    created = true;
    ResolvedPath resolved;
    EntryStat entry;
    if (DWORD error = LocateEntry(target, resolved, entry)) return error;
    // Only the driver can make an encrypted file of these bytes.
    if (!OnNtfs3g(EntryRef{resolved.native}, entry)) return err::kNotSupported;
    if (DWORD error = CopyToEnd(in, out)) return error;
  }
  ResolvedPath resolved;
  EntryStat entry;
  if (DWORD error = LocateEntry(target, resolved, entry)) return error;
  if (lsetxattr(resolved.native.c_str(), kEfsXattr, efs.data(), efs.size(), 0) != 0)
    return LastError();
  return err::kSuccess;
}

DWORD Import(File& in, WStringView target) {
  std::vector<uint8_t> efs;
  if (DWORD error = ReadEfs(in, efs)) return error;
  bool created = false;
  const DWORD error = Create(in, efs, target, created);
  // A half-imported file is no restored file.
  if (error && created) DeleteFile(target);
  return error;
}

}  // namespace

bool ExportNtfsEncryptedRaw(WStringView source, WStringView staging, DWORD& error) {
  ResolvedPath resolved;
  EntryStat entry;
  if (LocateEntry(source, resolved, entry) != err::kSuccess) return false;
  const EntryRef ref{resolved.native};
  if (!HasNtfsMetadata(ref, entry)) return false;
  std::vector<uint8_t> efs;
  bool present;
  error = ReadXattr(ref, kEfsXattr, efs, present);
  // A file the volume does not keep encrypted has no raw form of its own.
  if (!error && !present) return false;
  if (!error) error = Export(efs, source, staging);
  return true;
}

bool ImportNtfsEncryptedRaw(WStringView staging, WStringView target, DWORD& error) {
  File in;
  if (in.Open(staging, kGenericRead, kShareRead, Disposition::kOpenExisting) != err::kSuccess)
    return false;
  char mark[sizeof kNtfsRawMark];
  DWORD done = 0;
  if (in.Read(mark, sizeof mark, done) != err::kSuccess || done != sizeof mark ||
      std::memcmp(mark, kNtfsRawMark, sizeof mark) != 0)
    return false;
  error = Import(in, target);
  return true;
}

}  // namespace orv::os::posix
