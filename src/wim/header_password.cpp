#include "wim/header_password.h"

#include <cstring>

#include "platform/errors.h"
#include "platform/file.h"
#include "services/log.h"

namespace orv {

namespace {

constexpr DWORD kHeaderSizeOffset = 8;
constexpr DWORD kBlockSize = sizeof(PasswordRecord);
constexpr BYTE kWimMagic[8] = {'M', 'S', 'W', 'I', 'M', 0, 0, 0};

// Reads the first 1024 bytes; a shorter file is refused with 38 (end of file).
DWORD ReadHeader(os::File& file, BYTE (&header)[kWimHeaderBytes]) {
  DWORD done = 0;
  if (DWORD error = file.Read(header, kWimHeaderBytes, done)) return error;
  return done == kWimHeaderBytes ? err::kSuccess : err::kHandleEof;
}

DWORD WriteAt(os::File& file, DWORD offset, const BYTE* data, DWORD size, DWORD& done) {
  done = 0;
  if (DWORD error = file.Seek(offset, os::SeekFrom::kBegin)) return error;
  if (DWORD error = file.Write(data, size, done)) return error;
  return done == size ? err::kSuccess : err::kDiskFull;
}

}  // namespace

DWORD PasswordBlockOffset(const BYTE (&header)[kWimHeaderBytes], DWORD& offset) {
  // Only a WIM file has the block: one without the magic is no WIM file.
  if (std::memcmp(header, kWimMagic, sizeof kWimMagic) != 0) return err::kFileCorrupt;
  const BYTE* field = header + kHeaderSizeOffset;
  const DWORD headerSize =
      DWORD(field[0]) | DWORD(field[1]) << 8 | DWORD(field[2]) << 16 | DWORD(field[3]) << 24;
  // The block must lie after the header's own fields, never over the magic, the sizes
  // or the tables the header points to.
  if (headerSize < kStandardHeaderSize || headerSize > kWimHeaderBytes) return err::kFileCorrupt;
  offset = headerSize - kBlockSize;
  return err::kSuccess;
}

DWORD WriteHeaderPassword(WStringView wimPath, WStringView password) {
  COrvLog& log = COrvLog::GetInstance();
  log.AddInfo(ORV_T("Open File %s"), WString(wimPath));
  os::File file;
  if (DWORD error = file.Open(wimPath, os::kGenericRead | os::kGenericWrite,
                              os::kShareRead | os::kShareWrite, os::Disposition::kOpenExisting)) {
    log.AddError(ORV_T("Cannot open %s"), WString(wimPath));
    return error;
  }
  log.AddInfo(ORV_T("Read 1024 bytes"));
  BYTE header[kWimHeaderBytes];
  if (DWORD error = ReadHeader(file, header)) {
    log.AddError(ORV_T("ReadFile failed."));
    return error;
  }
  DWORD offset = 0;
  if (DWORD error = PasswordBlockOffset(header, offset)) {
    log.AddError(ORV_T("Header size of %s out of range"), WString(wimPath));
    return error;
  }
  log.AddInfo(ORV_T("Copy content of Password to DataTemp"));
  log.AddInfo(ORV_T("Encrypt DataTemp"));
  PasswordRecord block;
  if (!ScramblePassword(password, block)) return err::kNotEnoughMemory;
  log.AddInfo(ORV_T("Copy content of DataTemp to Data: offset %d"), offset);
  log.AddInfo(ORV_T("Write Data to File"));
  DWORD done = 0;
  if (DWORD error = WriteAt(file, offset, block.data(), kBlockSize, done)) {
    log.AddError(ORV_T("WriteFile failed."));
    // Put back what the short write replaced, so the header stays as it was.
    if (done != 0) {
      DWORD restored = 0;
      WriteAt(file, offset, header + offset, done, restored);
    }
    return error;
  }
  return file.Flush();
}

DWORD ReadHeaderPassword(WStringView wimPath, PasswordRecord& record, bool& present) {
  record.fill(0);
  present = false;
  os::File file;
  if (DWORD error =
          file.Open(wimPath, os::kGenericRead, os::kShareRead, os::Disposition::kOpenExisting))
    return error;
  BYTE header[kWimHeaderBytes];
  if (DWORD error = ReadHeader(file, header)) return error;
  file.Close();
  DWORD offset = 0;
  if (DWORD error = PasswordBlockOffset(header, offset)) return error;
  std::memcpy(record.data(), header + offset, kBlockSize);
  present = !IsEmptyRecord(record);
  return err::kSuccess;
}

}  // namespace orv
