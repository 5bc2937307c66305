// The reader of reference catalogues (ALL.CRC and Windows.crc) for the change scan.
#include <algorithm>

#include "image/catalogue_crc.h"
#include "platform/case_fold.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "services/format.h"
#include "services/hex.h"
#include "services/log.h"

namespace orv {

namespace {

// Longest line taken; longer lines are skipped whole, up to their line end, so that
// they neither overflow anything nor shift the lines after them.
constexpr size_t kMaxLine = 32768;
constexpr DWORD kChunk = 64 * 1024;

bool IsSkippedName(WStringView name) {
  for (const Char* prefix :
       {ORV_T("zorbin"), ORV_T("system recovery"), ORV_T("driver.cab"), ORV_T("preload")})
    if (os::StartsWithNoCase(name, prefix)) return true;
  return false;
}

// Hexadecimal digits up to the first other character.
DWORD ParseHex(WStringView text) {
  DWORD value = 0;
  for (const Char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0) break;
    value = value * 16 + static_cast<DWORD>(digit);
  }
  return value;
}

// Decimal digits (after an optional minus) up to the first other character.
template <class T>
T ParseDecimal(WStringView text) {
  bool negative = false;
  if (!text.empty() && text.front() == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  uint64_t value = 0;
  for (const Char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return negative ? static_cast<T>(0 - value) : static_cast<T>(value);
}

CrcLine ParseLine(WStringView line, size_t number) {
  CrcLine parsed;
  parsed.number = number;
  const size_t equals = line.rfind('=');
  if (equals == WStringView::npos) return parsed;
  parsed.name = line.substr(0, equals);
  const WStringView value = line.substr(equals + 1);
  const size_t bar = value.find('|');
  if (bar == WStringView::npos) return parsed;
  const WStringView numbers = value.substr(bar + 1);
  const size_t comma = numbers.find(',');
  if (comma == WStringView::npos) return parsed;
  parsed.record.marker = ParseHex(value.substr(0, bar));
  parsed.record.size = ParseDecimal<uint64_t>(numbers.substr(0, comma));
  parsed.record.time = ParseDecimal<int64_t>(numbers.substr(comma + 1));
  parsed.wellFormed = true;
  return parsed;
}

}  // namespace

DWORD ReadCrcLines(WStringView path, const std::function<void(const CrcLine&)>& take) {
  os::File file;
  if (DWORD error = file.Open(path, os::kGenericRead, os::kShareRead, os::Disposition::kOpenExisting))
    return error;
  uint8_t mark[2];
  DWORD done = 0;
  if (DWORD error = file.Read(mark, 2, done)) return error;
  if (done != 2) return err::kSuccess;

  std::vector<uint8_t> chunk(kChunk);
  WString line;
  bool overlong = false;
  uint8_t pending = 0;
  bool havePending = false;
  size_t number = 0;
  auto endLine = [&] {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!overlong && !line.empty()) take(ParseLine(line, number));
    line.clear();
    overlong = false;
  };
  for (;;) {
    if (DWORD error = file.Read(chunk.data(), kChunk, done)) return error;
    if (done == 0) break;
    for (DWORD i = 0; i < done; ++i) {
      if (!havePending) {
        pending = chunk[i];
        havePending = true;
        continue;
      }
      havePending = false;
      const auto unit = static_cast<Char>(pending | (chunk[i] << 8));
      if (unit == '\n') {
        endLine();
      } else if (line.size() < kMaxLine) {
        line += unit;
      } else {
        overlong = true;
      }
    }
  }
  endLine();
  return err::kSuccess;
}

void ReadCrcFile(WStringView folder, WStringView baseName, CrcTable& table, bool& i386) {
  const WString path = WString(folder) + ORV_T("\\") + WString(baseName) + ORV_T(".crc");
  COrvLog::GetInstance().AddInfo(ORV_T("Read %s"), path);
  // A line takes some 80 bytes: room for all of them at once spares the table its
  // growth while the lines come in.
  os::FileInfo info;
  if (os::GetInfo(path, info) == 0) table.reserve(table.size() + info.size / 80);
  ReadCrcLines(path, [&](const CrcLine& line) {
    if (os::CompareNoCase(line.name, ORV_T("I386")) == 0) i386 = true;
    if (!line.wellFormed || IsSkippedName(line.name)) return;
    table.emplace(COrvString(line.name), line.record);  // the first line of a name wins
  });
}

void ReadReferenceCatalogue(WStringView folder, CrcTable& table, bool& i386) {
  ReadCrcFile(folder, ORV_T("Windows"), table, i386);
  ReadCrcFile(folder, ORV_T("All"), table, i386);
}

}  // namespace orv
