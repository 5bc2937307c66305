#include "platform/encrypted_file.h"

#include <cstring>
#include <vector>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/posix/ntfs3g.h"

namespace orv::os {

namespace {

constexpr char kRawMark[8] = {'V', 'T', 'E', 'F', 'S', 'R', 'A', 'W'};
constexpr DWORD kPortion = 65536;

DWORD Copy(File& from, File& to) {
  std::vector<char> buffer(kPortion);
  for (;;) {
    DWORD done = 0, written = 0;
    if (DWORD error = from.Read(buffer.data(), kPortion, done)) return error;
    if (done == 0) return err::kSuccess;
    if (DWORD error = to.Write(buffer.data(), done, written)) return error;
    if (written != done) return err::kDiskFull;
  }
}

}  // namespace

DWORD ExportEncryptedRaw(WStringView source, WStringView staging) {
  // An NTFS volume mounted through ntfs-3g has the real encrypted stream.
  if (DWORD error = 0; posix::ExportNtfsEncryptedRaw(source, staging, error)) return error;
  File in, out;
  if (DWORD error = in.Open(source, kGenericRead, kShareRead, Disposition::kOpenExisting))
    return error;
  if (DWORD error = out.Open(staging, kGenericWrite, 0, Disposition::kCreateAlways)) return error;
  DWORD written = 0;
  if (DWORD error = out.Write(kRawMark, sizeof kRawMark, written)) return error;
  return Copy(in, out);
}

DWORD ImportEncryptedRaw(WStringView staging, WStringView target) {
  if (DWORD error = 0; posix::ImportNtfsEncryptedRaw(staging, target, error)) return error;
  File in;
  if (DWORD error = in.Open(staging, kGenericRead, kShareRead, Disposition::kOpenExisting))
    return error;
  char mark[sizeof kRawMark];
  DWORD done = 0;
  if (DWORD error = in.Read(mark, sizeof mark, done)) return error;
  if (done != sizeof mark || std::memcmp(mark, kRawMark, sizeof mark) != 0) return err::kInvalidData;
  DWORD error;
  {
    File out;
    if ((error = out.Open(target, kGenericWrite, 0, Disposition::kCreateNew))) return error;
    error = Copy(in, out);
  }
  DWORD attributes = 0;
  if (!error) error = GetAttributes(target, attributes);
  if (!error) error = SetAttributes(target, (attributes & ~kAttrNormal) | kAttrEncrypted);
  // A half-imported file is no restored file.
  if (error) DeleteFile(target);
  return error;
}

}  // namespace orv::os
