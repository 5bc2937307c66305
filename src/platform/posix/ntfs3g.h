// NTFS volumes mounted through the ntfs-3g driver. There the Windows metadata is real and
// the driver shows it as extended attributes, which take the place of our own
// user.vantrel.* ones:
//   system.ntfs_attrib_be     DOS attributes, DWORD big-endian
//   system.ntfs_times_be      creation, last write, last access and change times, each
//                             a 64-bit big-endian file time; writing 8, 16 or 24 bytes
//                             sets the first one, two or three of them
//   system.ntfs_acl           the self-relative security descriptor
//   system.ntfs_dos_name      the 8.3 name, UTF-8 without terminator
//   system.ntfs_reparse_data  the reparse data, as Windows keeps it
// Every reparse point, whatever its tag, shows as a symbolic link; a link made with
// symlink() on such a volume is no reparse point and keeps the generic handling.
#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/posix/metadata.h"

namespace orv::os::posix {

inline constexpr char kNtfsAttributesXattr[] = "system.ntfs_attrib_be";
inline constexpr char kNtfsTimesXattr[] = "system.ntfs_times_be";
inline constexpr char kNtfsSecurityXattr[] = "system.ntfs_acl";
inline constexpr char kNtfsShortNameXattr[] = "system.ntfs_dos_name";
inline constexpr char kNtfsReparseXattr[] = "system.ntfs_reparse_data";

// Whether the entry lies on a volume mounted through ntfs-3g. The answer is kept per
// mount, so only the first entry of a mount pays for the probe.
bool OnNtfs3g(const EntryRef& ref, const EntryStat& entry);

// Whether the Windows metadata of the entry is the driver's: it lies on such a volume
// and is not a link made with symlink().
bool HasNtfsMetadata(const EntryRef& ref, const EntryStat& entry);

// The same two questions for a write. When the driver cannot tell (an entry its cache
// has not settled), the error of the probe: the writer fails with it rather than put
// the library's own attributes on an NTFS volume, where they would become named streams.
DWORD OnNtfs3gForWrite(const EntryRef& ref, const EntryStat& entry, bool& ntfs3g);
DWORD NtfsMetadataForWrite(const EntryRef& ref, const EntryStat& entry, bool& ntfs);

DWORD ReadNtfsAttributes(const EntryRef& ref, DWORD& attributes, DWORD& reparseTag);
DWORD WriteNtfsAttributes(const EntryRef& ref, DWORD attributes);
// Fills the times the driver keeps; `times` holds the others already.
DWORD ReadNtfsTimes(const EntryRef& ref, FileTimes& times);
// A zero time leaves that time as it is.
DWORD WriteNtfsTimes(const EntryRef& ref, const FileTimes& times);
DWORD ReadNtfsShortName(const EntryRef& ref, WString& shortName);
// An empty name removes the one there is.
DWORD WriteNtfsShortName(const EntryRef& ref, WStringView shortName);
// kNotAReparsePoint when the entry is none.
DWORD ReadNtfsReparse(const EntryRef& ref, std::vector<uint8_t>& data);
// Makes the entry the reparse point the data describes, byte for byte.
DWORD WriteNtfsReparse(const EntryRef& ref, const std::vector<uint8_t>& data);

// The label of the NTFS volume on a device or image file (empty when it has none).
DWORD ReadNtfsLabel(const std::string& source, WString& label);

// Raw streams of files the volume keeps encrypted (see ntfs3g_encrypted.cpp). Each
// returns false, leaving `error` alone, when the file or stream is not the driver's
// to handle; true with the outcome in `error` when it is.
bool ExportNtfsEncryptedRaw(WStringView source, WStringView staging, DWORD& error);
bool ImportNtfsEncryptedRaw(WStringView staging, WStringView target, DWORD& error);

}  // namespace orv::os::posix
