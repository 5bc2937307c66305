// CRYPT.INI: where a restore records the encrypted files it wrote, for the system that
// is restored to import their keys later. Written only when the restore runs for a
// partition the environment names (USERPART), one numbered key per file.
#include <algorithm>
#include <vector>

#include "image/crypt_ini.h"
#include "image/image.h"
#include "platform/case_fold.h"
#include "platform/file.h"
#include "platform/process.h"
#include "services/format.h"
#include "services/log.h"
#include "services/system.h"
#include "services/text_file.h"

namespace orv {

namespace {

constexpr WStringView kSection = ORV_T("[Crypt]");

// Keys go on from the highest of the file and of this process, so that a record of an
// earlier restore is never overwritten.
long g_nextKey = 0;

// The number of a "N=value" line, or -1.
long KeyOf(const WString& line) {
  const size_t equals = line.find('=');
  if (equals == 0 || equals == WString::npos || equals > 9) return -1;
  long key = 0;
  for (size_t i = 0; i < equals; ++i) {
    if (line[i] < '0' || line[i] > '9') return -1;
    key = key * 10 + (line[i] - '0');
  }
  return key;
}

// Adds `value` under the next free key of the Crypt section of `lines`, creating the
// section when the file has none.
void AddRecord(std::vector<WString>& lines, const WString& value) {
  auto section = std::find_if(lines.begin(), lines.end(), [](const WString& line) {
    return os::CompareNoCase(line, kSection) == 0;
  });
  if (section == lines.end()) {
    lines.emplace_back(kSection);
    section = lines.end() - 1;
  }
  auto end = section + 1;
  long highest = -1;
  for (; end != lines.end() && !(end->size() > 0 && end->front() == '['); ++end)
    highest = std::max(highest, KeyOf(*end));
  const long key = std::max(g_nextKey, highest + 1);
  g_nextKey = key + 1;
  lines.insert(end, Format(ORV_T("%d"), static_cast<int>(key)) + ORV_T("=") + value);
}

}  // namespace

DWORD AddCryptRecord(WStringView iniPath, WStringView value) {
  std::vector<uint8_t> bytes;
  std::vector<WString> lines;
  if (ReadWholeFile(iniPath, bytes, 16u * 1024 * 1024) == 0) lines = Utf16LeLines(bytes);
  AddRecord(lines, WString(value));
  WString text;
  for (const WString& line : lines) text += line + ORV_T("\r\n");
  std::vector<uint8_t> content{kUtf16ByteOrderMark & 0xFF, kUtf16ByteOrderMark >> 8};
  const std::vector<uint8_t> body = Utf16LeBytes(text);
  content.insert(content.end(), body.begin(), body.end());
  return ReplaceFileContent(iniPath, content);
}

WString CryptRecordValue(DWORD partition, WStringView rest, WStringView entry, WStringView tempName) {
  WString value = Format(ORV_T("%u"), partition) + ORV_T("\\");
  if (!rest.empty()) value += WString(rest) + ORV_T("\\");
  value += WString(entry);
  if (!tempName.empty()) value += ORV_T("|") + WString(tempName);
  return value;
}

void COrvImage::RecordEncryptedFile(const WString& entry, const WString& target,
                                    const WString& tempName) {
  const std::optional<WString> userPart = os::GetEnvironment(ORV_T("USERPART"));
  if (!userPart || userPart->empty()) return;
  const WString folder = *userPart + ORV_T("\\System Recovery");
  os::CreateDirectoryTree(folder);
  const WString path = folder + ORV_T("\\CRYPT.INI");
  // The file is named by its partition and its path on that partition.
  const bool driveRooted = target.size() >= 3 && target[1] == ':';
  const DWORD partition = driveRooted ? COrvSystem::GetPartitionNumber(target[0]) : 0;
  const WString rest = driveRooted ? target.substr(3) : target;
  // Failures are logged only: the files themselves are restored all the same.
  if (const DWORD error = AddCryptRecord(path, CryptRecordValue(partition, rest, entry, tempName)))
    COrvLog::GetInstance().AddError(ORV_T("Cannot write %s - %u"), path, error);
}

}  // namespace orv
