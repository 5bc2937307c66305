#include "platform/posix/reparse_buffer.h"

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/little_endian.h"

namespace orv::os::posix {

namespace {

constexpr size_t kHeaderSize = 8;       // tag, data length, reserved
constexpr size_t kGuidHeaderSize = 24;  // the same and a GUID, for third-party tags
constexpr DWORD kMicrosoftTagBit = 0x80000000;
constexpr size_t kNamesFieldsSize = 8;  // two offsets and two lengths
constexpr size_t kSymlinkFlagsSize = 4;
constexpr DWORD kSymlinkFlagRelative = 1;

size_t FixedPartSize(DWORD tag) {
  return kNamesFieldsSize + (tag == kReparseTagSymlink ? kSymlinkFlagsSize : 0);
}

// The name at `offset` bytes into the path buffer, if it lies inside it.
bool ReadName(const uint8_t* buffer, size_t bufferSize, size_t offset, size_t length,
              WString& name) {
  if (length % 2 != 0 || offset > bufferSize || length > bufferSize - offset) return false;
  name.clear();
  for (size_t i = 0; i < length; i += 2)
    name += static_cast<Char>(LoadLE<uint16_t>(buffer + offset + i));
  return true;
}

void AppendName(std::vector<uint8_t>& out, const WString& name) {
  for (Char c : name) AppendLE<uint16_t>(out, static_cast<uint16_t>(c));
  AppendLE<uint16_t>(out, 0);
}

}  // namespace

DWORD CheckReparseData(const std::vector<uint8_t>& data, DWORD& tag) {
  tag = 0;
  if (data.size() < kHeaderSize || data.size() > kMaxReparseDataSize)
    return err::kInvalidReparseData;
  const DWORD candidate = LoadLE<DWORD>(data.data());
  const size_t header = candidate & kMicrosoftTagBit ? kHeaderSize : kGuidHeaderSize;
  const size_t length = LoadLE<uint16_t>(data.data() + 4);
  if (candidate == 0 || data.size() != header + length) return err::kInvalidReparseData;
  tag = candidate;
  return err::kSuccess;
}

DWORD ParseLinkReparse(const std::vector<uint8_t>& data, LinkReparse& link) {
  link = LinkReparse{};
  link.tag = LoadLE<DWORD>(data.data());
  const size_t fixed = FixedPartSize(link.tag);
  if (data.size() < kHeaderSize + fixed) return err::kInvalidReparseData;
  const uint8_t* fields = data.data() + kHeaderSize;
  const uint8_t* buffer = fields + fixed;
  const size_t bufferSize = data.size() - kHeaderSize - fixed;
  if (!ReadName(buffer, bufferSize, LoadLE<uint16_t>(fields), LoadLE<uint16_t>(fields + 2),
                link.substitute) ||
      !ReadName(buffer, bufferSize, LoadLE<uint16_t>(fields + 4),
                LoadLE<uint16_t>(fields + 6), link.print) ||
      link.substitute.empty())
    return err::kInvalidReparseData;
  if (link.tag == kReparseTagSymlink)
    link.relative = LoadLE<DWORD>(fields + kNamesFieldsSize) & kSymlinkFlagRelative;
  return err::kSuccess;
}

// The substitute name comes first, then the print name, each followed by a terminator
// that the lengths do not count.
DWORD BuildLinkReparse(const LinkReparse& link, std::vector<uint8_t>& data) {
  const size_t fixed = FixedPartSize(link.tag);
  const size_t namesSize = (link.substitute.size() + link.print.size() + 2) * 2;
  if (kHeaderSize + fixed + namesSize > kMaxReparseDataSize) return err::kFilenameExcedRange;
  const auto substituteSize = static_cast<uint16_t>(link.substitute.size() * 2);
  data.clear();
  AppendLE<DWORD>(data, link.tag);
  AppendLE<uint16_t>(data, static_cast<uint16_t>(fixed + namesSize));
  AppendLE<uint16_t>(data, 0);
  AppendLE<uint16_t>(data, 0);
  AppendLE<uint16_t>(data, substituteSize);
  AppendLE<uint16_t>(data, static_cast<uint16_t>(substituteSize + 2));
  AppendLE<uint16_t>(data, static_cast<uint16_t>(link.print.size() * 2));
  if (link.tag == kReparseTagSymlink)
    AppendLE<DWORD>(data, link.relative ? kSymlinkFlagRelative : 0);
  AppendName(data, link.substitute);
  AppendName(data, link.print);
  return err::kSuccess;
}

}  // namespace orv::os::posix
