// The Windows metadata of an image set on a directory extraction. wimlib extracts files
// and folders onto a mounted volume as onto any Linux folder, without the items that
// only Windows has; on a volume that can hold them (NTFS through ntfs-3g) they are set
// afterwards, entry by entry, through the platform layer, from what the image lists.
#if !defined(_WIN32)
#include <algorithm>

#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/native_name.h"
#include "platform/notice.h"
#include "platform/ntfs_source.h"
#include "wim/engine_state.h"

namespace orv::wim::linux_engine {

namespace {

// The bits that follow from the kind of item; the file system decides them itself.
constexpr DWORD kTypeAttributes = os::kAttrDirectory | os::kAttrReparsePoint;

struct EntryMetadata {
  std::string inImage;  // the entry's path in the image
  DWORD attributes = 0;
  DWORD reparseTag = 0;
  os::FileTimes times;
  WString shortName;
  std::vector<uint8_t> security;
  std::vector<uint8_t> reparseData;  // empty when the WIM file does not hold it in place
  bool namedStreams = false;
};

struct MetadataWalk {
  const WimFile* file;
  const std::vector<std::string>* excluded;
  bool volumeRoot;
  std::vector<EntryMetadata> entries;

  static int Visit(const lib::DirEntry* entry, void* context) {
    static_cast<MetadataWalk*>(context)->OnEntry(*entry);
    return 0;
  }

  void OnEntry(const lib::DirEntry& entry) {
    const std::string inImage = entry.full_path ? entry.full_path : "";
    // The image's root is the target folder: its items go there only when that folder
    // is a volume's root, as they would on Windows.
    if (inImage.empty() || (inImage == "/" && !volumeRoot)) return;
    if (std::any_of(excluded->begin(), excluded->end(), [&](const std::string& out) {
          return inImage == out || ImagePathBelow(inImage, out);
        }))
      return;
    EntryMetadata metadata;
    metadata.inImage = inImage;
    metadata.attributes = entry.attributes;
    metadata.reparseTag = entry.reparse_tag;
    metadata.times = {FileTimeOf(entry.creation_time), FileTimeOf(entry.last_access_time),
                      FileTimeOf(entry.last_write_time)};
    if (entry.dos_name != nullptr) metadata.shortName = os::FromUtf8(entry.dos_name);
    if (entry.security_descriptor != nullptr)
      metadata.security.assign(entry.security_descriptor,
                               entry.security_descriptor + entry.security_descriptor_size);
    if (entry.attributes & os::kAttrReparsePoint)
      ReadStoredReparseData(*file, entry.reparse_tag, entry.streams[0].resource,
                            metadata.reparseData);
    metadata.namedStreams = entry.num_named_streams > 0;
    entries.push_back(std::move(metadata));
  }
};

// wimlib extracts a junction or symbolic link as a Linux link, which the volume keeps as
// a plain file, and no other reparse point at all. A link becomes the volume's own
// reparse point again, on a folder when the image has a folder there, with the data the
// image holds; where the WIM file keeps that data compressed, with the data the platform
// reads from the link, which names the same target but not in the same words.
DWORD MakeReparsePoint(const WString& path, const EntryMetadata& metadata) {
  if (metadata.reparseTag != os::kReparseTagMountPoint &&
      metadata.reparseTag != os::kReparseTagSymlink) {
    os::Notice(ORV_T("WIM apply: the reparse point ") + path +
               ORV_T(" is not extracted onto a mounted volume"));
    return err::kSuccess;
  }
  std::vector<uint8_t> data = metadata.reparseData;
  if (data.empty()) {
    if (DWORD error = os::GetReparseData(path, data)) return error;
    os::Notice(ORV_T("WIM apply: the reparse data of ") + path +
               ORV_T(" is rebuilt from the link it was extracted as"));
  }
  if (metadata.attributes & os::kAttrDirectory) {
    // The link wimlib just made, whether it points to a folder or nowhere.
    if (os::RemoveDirectory(path) != err::kSuccess)
      if (DWORD error = os::DeleteFile(path)) return error;
    if (DWORD error = os::CreateDirectory(path)) return error;
  }
  return os::SetReparseData(path, data);
}

DWORD SetMetadata(const WString& path, const EntryMetadata& metadata) {
  if (!metadata.shortName.empty())
    if (DWORD error = os::SetShortName(path, metadata.shortName)) return error;
  if (metadata.attributes & os::kAttrReparsePoint)
    if (DWORD error = MakeReparsePoint(path, metadata)) return error;
  if (DWORD error = os::SetAttributes(path, metadata.attributes & ~kTypeAttributes)) return error;
  if (DWORD error = os::SetTimes(path, metadata.times)) return error;
  if (!metadata.security.empty())
    if (DWORD error = os::SetSecurity(path, os::kAllSecurity, metadata.security)) return error;
  if (metadata.namedStreams)
    os::Notice(ORV_T("WIM apply: the named data streams of ") + path +
               ORV_T(" are not extracted onto a mounted volume"));
  return err::kSuccess;
}

}  // namespace

DWORD ApplyWindowsMetadata(WimFile& file, int image, WStringView givenTarget,
                           const std::vector<std::string>& excluded) {
  os::NtfsSource volume;
  const bool volumeRoot = os::FindNtfs3gRootSource(givenTarget, volume) == err::kSuccess;
  MetadataWalk walk{&file, &excluded, volumeRoot, {}};
  if (int error = Wimlib().iterate_dir_tree(file.wim, image, "/", lib::kIterateRecursive,
                                            MetadataWalk::Visit, &walk))
    return WindowsError(error);
  // Children first: setting them changes their folder's times, which come after.
  for (auto entry = walk.entries.rbegin(); entry != walk.entries.rend(); ++entry) {
    const WString path = os::GivenNameOf(entry->inImage, "/", givenTarget);
    // A name that holds a backslash would name another item in the library's path
    // form, perhaps outside the target: such an entry gets nothing set.
    const DWORD error =
        IsPlainImagePath(entry->inImage) ? SetMetadata(path, *entry) : err::kInvalidData;
    if (error == err::kSuccess) continue;
    const DWORD answer = file.Send(kMsgError, reinterpret_cast<ORVVALUE>(path.c_str()), error);
    if (answer != kMsgSkipError) return answer == kMsgAbortImage ? kRequestAborted : error;
  }
  return err::kSuccess;
}

}  // namespace orv::wim::linux_engine
#endif
