// Short names and security descriptors: Windows metadata with no Linux counterpart,
// kept as extended attributes of the file (see metadata.h), or on an NTFS volume
// mounted through ntfs-3g, the volume's own (see ntfs3g.h).
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/little_endian.h"
#include "platform/posix/metadata.h"
#include "platform/posix/ntfs3g.h"

namespace orv::os {

namespace {

using posix::EntryRef;
using posix::EntryStat;
using posix::ResolvedPath;

// SECURITY_DESCRIPTOR_RELATIVE: revision, padding, control, four offsets.
constexpr size_t kSecurityHeaderSize = 20;
constexpr uint8_t kSecurityRevision = 1;

}  // namespace

namespace posix {

DWORD ReadSecurity(const EntryRef& ref, const EntryStat& entry, std::vector<uint8_t>& descriptor) {
  descriptor.clear();
  bool present;
  if (HasNtfsMetadata(ref, entry)) return ReadXattr(ref, kNtfsSecurityXattr, descriptor, present);
  if (entry.isLink) return err::kSuccess;
  return ReadXattr(ref, kSecurityXattr, descriptor, present);
}

}  // namespace posix

DWORD GetShortName(WStringView path, WString& shortName) {
  shortName.clear();
  ResolvedPath resolved;
  EntryStat entry;
  if (DWORD error = posix::LocateEntry(path, resolved, entry)) return error;
  return posix::ReadShortName(EntryRef{resolved.native}, entry, shortName);
}

DWORD SetShortName(WStringView path, WStringView shortName) {
  if (shortName.size() > posix::kMaxShortName) return err::kInvalidParameter;
  ResolvedPath resolved;
  EntryStat entry;
  if (DWORD error = posix::LocateEntry(path, resolved, entry)) return error;
  const EntryRef ref{resolved.native};
  bool ntfs = false;
  if (DWORD error = posix::NtfsMetadataForWrite(ref, entry, ntfs)) return error;
  if (ntfs) return posix::WriteNtfsShortName(ref, shortName);
  if (shortName.empty())
    return entry.isLink ? err::kSuccess : posix::RemoveXattr(ref, posix::kShortNameXattr);
  if (entry.isLink) {
    posix::NoticeDropped("short name", resolved.native);
    return err::kSuccess;
  }
  std::vector<uint8_t> value;
  for (Char c : shortName) AppendLE<uint16_t>(value, static_cast<uint16_t>(c));
  return posix::WriteXattr(ref, posix::kShortNameXattr, value, "short name");
}

// The stored descriptor is opaque here: it comes back whole whatever `which` selects,
// and setting one replaces the one stored.
DWORD GetSecurity(WStringView path, DWORD which, std::vector<uint8_t>& descriptor) {
  descriptor.clear();
  ResolvedPath resolved;
  EntryStat entry;
  if (DWORD error = posix::LocateEntry(path, resolved, entry)) return error;
  return posix::ReadSecurity(EntryRef{resolved.native}, entry, descriptor);
}

DWORD SetSecurity(WStringView path, DWORD which, const std::vector<uint8_t>& descriptor) {
  if (descriptor.size() < kSecurityHeaderSize || descriptor[0] != kSecurityRevision)
    return err::kInvalidSecurityDescr;
  ResolvedPath resolved;
  EntryStat entry;
  if (DWORD error = posix::LocateEntry(path, resolved, entry)) return error;
  const EntryRef ref{resolved.native};
  bool ntfs = false;
  if (DWORD error = posix::NtfsMetadataForWrite(ref, entry, ntfs)) return error;
  if (ntfs)
    return posix::WriteXattr(ref, posix::kNtfsSecurityXattr, descriptor, "security descriptor");
  if (entry.isLink) {
    posix::NoticeDropped("security descriptor", resolved.native);
    return err::kSuccess;
  }
  return posix::WriteXattr(ref, posix::kSecurityXattr, descriptor, "security descriptor");
}

}  // namespace orv::os
