// Differential sets kept in a mounted image (kind 3: a new sector image, a virtual disk
// formatted with NTFS; kind 4: a new WIM image mounted for writing): each changed entry
// is copied file by file into the mount under its path, with its attributes, times and
// security descriptor; encrypted files and reparse points, which a plain copy cannot
// carry, go into the archive DATA.INP beside it.
#include "fsutil/delete_tree.h"
#include "image/capture_paths.h"
#include "image/image.h"
#include "image/readable_descriptor.h"
#include "platform/file.h"
#include "platform/path_parts.h"
#include "platform/whole_io.h"
#include "services/log.h"

namespace orv {

namespace {

constexpr uint64_t kMiB = 1024 * 1024;
constexpr DWORD kDiskMarginMB = 20;  // room for the new volume's own structures

DWORD CopyContent(const WString& source, const WString& target) {
  os::File from;
  if (const DWORD error = from.Open(source, os::kGenericRead, os::kShareRead | os::kShareWrite,
                                    os::Disposition::kOpenExisting, os::kBackupSemantics))
    return error;
  os::File to;
  // Whatever is at the target goes first, as itself: a copy never writes through a link.
  if (const DWORD error = os::CreateNewFile(target, to)) return error;
  if (const DWORD error = os::CopyToEnd(from, to)) return error;
  return to.Flush();
}

}  // namespace

bool COrvImage::IsMountedKind() const { return capture_.imageType == 3 || capture_.imageType == 4; }

WString COrvImage::MountedImageName() const {
  return capture_.imageType == 3 ? ORV_T("BASE.INP") : ORV_T("BASE.WIM");
}

bool COrvImage::MountDifferentialImage() {
  COrvLog& log = COrvLog::GetInstance();
  const WString image = capture_.targetDir + ORV_T("\\") + MountedImageName();
  bool mounted = false;
  if (capture_.imageType == 3) {
    DeleteArchiveFiles(image);
    const uint64_t sizeMB = diff_.changeBytes / kMiB + kDiskMarginMB;
    Char drive[16] = {};
    mounted = sizeMB <= 0xFFFFFFFFu &&
              MountImageINP(image.c_str(), static_cast<DWORD>(sizeMB), capture_.splitSizeMB, drive);
    if (mounted) diff_.mountFolder = drive;
  } else {
    os::DeleteFile(image);
    mounted = MountImageWIM(diff_.mountFolder, image);
  }
  if (!mounted) {
    log.AddError(ORV_T("Cannot create and mount %s - %u"), image, GetLastErrorCode());
    diff_.mountFolder.clear();
    capture_.lastError = err::kInvalidDrive;
    return false;
  }
  capture_.imageFiles.push_back(MountedImageName());
  return true;
}

void COrvImage::UnmountDifferentialImage() {
  if (diff_.mountFolder.empty()) return;
  if (capture_.imageType == 3) {
    UnmountSectorImage(diff_.mountFolder[0]);
  } else if (!UnmountImageWIM(diff_.mountFolder, capture_.targetDir + ORV_T("\\BASE.WIM")) &&
             capture_.lastError == 0) {
    capture_.lastError = GetLastErrorCode();
  }
  diff_.mountFolder.clear();
}

bool COrvImage::CopyIntoMountedImage(const WString& name) {
  COrvLog& log = COrvLog::GetInstance();
  const WString source = diff_.volumeRoot + name;
  os::FileInfo info;
  if (const DWORD error = os::GetInfo(source, info)) {
    log.AddInfo(ORV_T("GetFileAttributesEx Error on %s =%u"), source, error);
    return true;  // gone since the scan
  }
  // What a plain copy cannot carry goes into the archive beside the image.
  if (info.attributes & (os::kAttrEncrypted | os::kAttrReparsePoint)) {
    const bool stored = StoreWithParents(name);
    log.AddInfo(stored ? ORV_T("File: %s added (encrypted or reparse point)")
                       : ORV_T("Cannot add %s (encrypted or reparse point)"),
                source);
    return stored;
  }
  const std::vector<uint8_t> descriptor = ReadEntryDescriptor(source).bytes;
  const WString target = diff_.mountFolder + name;
  DWORD error = os::CreateDirectoryTree(ParentPath(target));
  if (error == 0) {
    if (info.attributes & os::kAttrDirectory) {
      error = os::CreateDirectory(target);
      if (error == err::kAlreadyExists) error = 0;
    } else {
      error = CopyContent(source, target);
      if (error != 0) log.AddError(ORV_T("Cannot copy %s to %s - %u"), source, target, error);
    }
  }
  if (error == err::kFileNotFound || error == err::kPathNotFound) {
    log.AddInfo(ORV_T("File %s has been deleted"), source);
    return true;
  }
  if (error != 0) {
    log.AddError(ORV_T("Cannot add %s to %s - %u"), source, MountedImageName(), error);
    capture_.lastError = error;
    return false;
  }
  // The copy takes the source's own metadata; what the image cannot keep is logged.
  const DWORD attributes = info.attributes & ~(os::kAttrDirectory | os::kAttrCompressed);
  if (const DWORD failed = os::SetAttributes(target, attributes == 0 ? os::kAttrNormal : attributes))
    log.AddInfo(ORV_T("SetFileAttributes(%s) failed - %u"), target, failed);
  if (const DWORD failed = os::SetTimes(target, info.times))
    log.AddInfo(ORV_T("SetFileTime(%s) failed - %u"), target, failed);
  if (!descriptor.empty())
    if (const DWORD failed = os::SetSecurity(target, os::kAllSecurity, descriptor))
      log.AddInfo(ORV_T("SetNamedSecurityInfo(%s) failed - %u"), target, failed);
  log.AddInfo(ORV_T("File: %s added to %s"), source, MountedImageName());
  return true;
}

}  // namespace orv
