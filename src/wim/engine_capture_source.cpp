// Where a capture reads from. wimlib reads a folder as a Linux folder: it keeps names,
// data and times, and none of the Windows items. Read as an NTFS volume (its device or
// image file, through libntfs-3g) it keeps them all, as the Windows engine does, but
// only while nothing writes to the volume: wimlib reads the structures on the device
// under any driver that has it mounted, so a volume mounted read-write is read as a
// folder instead, and a device mounted read-write is refused.
#if !defined(_WIN32)
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/native_name.h"
#include "platform/notice.h"
#include "platform/ntfs_source.h"
#include "wim/engine_state.h"

namespace orv::wim::linux_engine {

namespace {

constexpr Char kFolderLoses[] =
    ORV_T("DOS attributes, creation times, short names, security descriptors, reparse data ")
        ORV_T("and named data streams are not kept");

void NoticeFolderCapture(LPCTSTR source, WStringView why) {
  os::Notice(ORV_T("WIM capture of ") + WString(source) + ORV_T(" as a folder (") +
             WString(why) + ORV_T("): ") + kFolderLoses);
}

}  // namespace

DWORD ChooseCaptureSource(LPCTSTR source, CaptureSource& chosen) {
  DWORD attributes = 0;
  if (DWORD error = os::GetAttributes(source, attributes)) return error;
  os::NtfsSource volume;
  if (!(attributes & os::kAttrDirectory)) {
    if (DWORD error = os::FindNtfsDeviceSource(source, volume))
      return error == err::kInvalidData ? err::kDirectory : error;
    if (volume.mounted && !volume.readOnly) return err::kSharingViolation;
    chosen = {volume.device, lib::kAddNtfs};
    return err::kSuccess;
  }
  chosen.addFlags = 0;
  if (DWORD error = os::NativeNameOf(source, chosen.native)) return error;
  const DWORD found = os::FindNtfs3gRootSource(source, volume);
  if (found == err::kSuccess && volume.readOnly) {
    chosen = {volume.device, lib::kAddNtfs};
    return err::kSuccess;
  }
  if (found == err::kSuccess)
    NoticeFolderCapture(source, ORV_T("its NTFS volume is mounted read-write; mount it ")
                                ORV_T("read-only for an exact image"));
  else
    NoticeFolderCapture(source, ORV_T("not the root of an NTFS volume mounted through ntfs-3g"));
  return err::kSuccess;
}

}  // namespace orv::wim::linux_engine
#endif
