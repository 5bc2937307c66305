// What versions 1 and 2 share: the table of contents that the header names, and the
// reparse records that links store in the main file instead of content.
#include "archive/morlet.h"
#include "platform/errors.h"
#include "platform/little_endian.h"
#include "platform/whole_io.h"
#include "services/log.h"

namespace orv {

using namespace archive;

// The table must lie inside the file and below the ceiling: its size is never trusted
// for memory.
DWORD COrvMorlet::ReadV12Table(std::vector<uint8_t>& table) {
  V12State& v12 = V12();
  table.clear();
  if (v12.header.tableSize == 0) return err::kSuccess;
  if (v12.header.tableOffset > v12.mainSize ||
      v12.header.tableSize > v12.mainSize - v12.header.tableOffset)
    return err::kFileCorrupt;
  if (v12.header.tableSize > kMaxTableBytes) return err::kNotEnoughMemory;
  table.resize(v12.header.tableSize);
  DWORD done = 0;
  if (main_.Seek(static_cast<int64_t>(v12.header.tableOffset), os::SeekFrom::kBegin) != 0 ||
      main_.Read(table.data(), v12.header.tableSize, done) != 0 || done != v12.header.tableSize) {
    table.clear();
    return err::kFileCorrupt;
  }
  return err::kSuccess;
}

// At the data write position: u32 L, then the L bytes of the reparse data buffer.
DWORD COrvMorlet::WriteReparseRecordV12(const std::vector<uint8_t>& reparse) {
  V12State& v12 = V12();
  COrvLog& log = COrvLog::GetInstance();
  uint8_t lengthBytes[4];
  StoreLE<uint32_t>(lengthBytes, static_cast<uint32_t>(reparse.size()));
  DWORD error = main_.Seek(static_cast<int64_t>(v12.writePosition), os::SeekFrom::kBegin);
  if (!error) error = os::WriteAll(main_, lengthBytes, 4);
  if (error) {
    log.AddError(ORV_T("WriteFile failed - %u (%8.8X)"), error, error);
    return error;
  }
  if ((error = os::WriteAll(main_, reparse.data(), static_cast<DWORD>(reparse.size())))) {
    log.AddError(ORV_T("WriteFile failed (reparse data)- %u (%8.8X)"), error, error);
    return error;
  }
  return err::kSuccess;
}

DWORD COrvMorlet::ReadReparseRecordV12(uint64_t offset, std::vector<uint8_t>& data) {
  COrvLog& log = COrvLog::GetInstance();
  uint8_t lengthBytes[4];
  DWORD done = 0;
  DWORD error = main_.Seek(static_cast<int64_t>(offset), os::SeekFrom::kBegin);
  if (!error) error = main_.Read(lengthBytes, 4, done);
  if (!error && done != 4) error = err::kHandleEof;
  if (error) {
    log.AddError(ORV_T("ReadFile failed - %u"), error);
    return error;
  }
  const uint32_t length = LoadLE<uint32_t>(lengthBytes);
  if (length > kReparseBufferSize) return err::kInvalidReparseData;
  data.resize(length);
  error = main_.Read(data.data(), length, done);
  if (!error && done != length) error = err::kHandleEof;
  if (error) log.AddError(ORV_T("ReadFile (reparse data) failed - %u"), error);
  return error;
}

}  // namespace orv
