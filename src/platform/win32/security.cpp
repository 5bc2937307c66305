// Security descriptors of files as self-relative bytes.
#include <cstring>
#include <utility>

#include "platform/file.h"
#include "platform/win32/native.h"

namespace orv::os {

using win32::LastError;
using win32::NativePath;

namespace {

constexpr size_t kSidHeader = 8;  // revision, count, authority
constexpr size_t kAclHeader = 8;  // revision, padding, size, count, padding

// Whether the item at `offset` (0: absent) fits in `size` bytes.
bool SidFits(const uint8_t* bytes, size_t size, DWORD offset) {
  if (offset == 0) return true;
  if (offset > size || size - offset < kSidHeader) return false;
  const size_t subAuthorities = bytes[offset + 1];
  return kSidHeader + 4 * subAuthorities <= size - offset;
}

bool AclFits(const uint8_t* bytes, size_t size, DWORD offset) {
  if (offset == 0) return true;
  if (offset > size || size - offset < kAclHeader) return false;
  const size_t aclSize = bytes[offset + 2] | (bytes[offset + 3] << 8);
  return aclSize >= kAclHeader && aclSize <= size - offset;
}

// A descriptor from an image is data, not trusted memory: its offsets must stay inside
// the bytes before the system is allowed to follow them.
bool IsSoundDescriptor(const std::vector<uint8_t>& descriptor) {
  const uint8_t* bytes = descriptor.data();
  const size_t size = descriptor.size();
  SECURITY_DESCRIPTOR_RELATIVE header;
  if (size < sizeof header) return false;
  std::memcpy(&header, bytes, sizeof header);
  if (header.Revision != SECURITY_DESCRIPTOR_REVISION || (header.Control & SE_SELF_RELATIVE) == 0)
    return false;
  if (!SidFits(bytes, size, header.Owner) || !SidFits(bytes, size, header.Group)) return false;
  if ((header.Control & SE_SACL_PRESENT) != 0 && !AclFits(bytes, size, header.Sacl)) return false;
  if ((header.Control & SE_DACL_PRESENT) != 0 && !AclFits(bytes, size, header.Dacl)) return false;
  return true;
}

}  // namespace

DWORD GetSecurity(WStringView path, DWORD which, std::vector<uint8_t>& descriptor) {
  const WString native = NativePath(path);
  std::vector<uint8_t> buffer(512);
  for (;;) {
    DWORD needed = 0;
    if (::GetFileSecurityW(native.c_str(), which, buffer.data(), static_cast<DWORD>(buffer.size()),
                           &needed)) {
      buffer.resize(::GetSecurityDescriptorLength(buffer.data()));
      descriptor = std::move(buffer);
      return err::kSuccess;
    }
    const DWORD error = LastError();
    // The descriptor may grow between the two calls; ask again with what it needs now.
    if (error != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) return error;
    buffer.resize(needed);
  }
}

DWORD SetSecurity(WStringView path, DWORD which, const std::vector<uint8_t>& descriptor) {
  if (!IsSoundDescriptor(descriptor)) return err::kInvalidSecurityDescr;
  // Aligned, writable storage, as the call's prototype asks for.
  std::vector<uint8_t> copy(descriptor);
  if (!::IsValidSecurityDescriptor(copy.data())) return err::kInvalidSecurityDescr;
  return ::SetFileSecurityW(NativePath(path).c_str(), which, copy.data()) ? err::kSuccess
                                                                          : LastError();
}

}  // namespace orv::os
