#include "lamina/mount.h"

#include <algorithm>
#include <string>
#include <vector>

#include "lamina/drive_name.h"
#include "lamina/image_parts.h"
#include "platform/clock.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/ntfs_image_mount.h"
#include "platform/process.h"
#include "platform/volume.h"

namespace orv::lamina {

namespace {

constexpr DWORD kAlreadyAssigned = 85;
constexpr int kFolderAttempts = 100;
constexpr int kRemoveAttempts = 30;
constexpr DWORD kCopyChunk = 1 << 20;

WString FolderPrefix() { return os::GetTempFolder() + ORV_T("lamina-"); }

// A new empty folder for the mount of `letter`.
DWORD MakeMountFolder(Char letter, WString& folder) {
  const WString base = FolderPrefix() + WString{letter} + ORV_T("-") +
                       os::FromUtf8(std::to_string(os::CurrentProcessId())) + ORV_T("-");
  DWORD error = err::kAlreadyExists;
  for (int n = 0; n < kFolderAttempts && error == err::kAlreadyExists; ++n) {
    folder = base + os::FromUtf8(std::to_string(n));
    error = os::CreateDirectory(folder);
  }
  return error;
}

// The folder goes once the system has let go of the mount that was on it.
void RemoveMountFolder(const WString& folder) {
  for (int attempt = 0; attempt < kRemoveAttempts; ++attempt) {
    const DWORD error = os::RemoveDirectory(folder);
    if (error == 0 || error == err::kFileNotFound || error == err::kPathNotFound) return;
    os::Sleep(100);
  }
}

// The letter of a drive that is free to take.
DWORD FreeLetter(const char* drive, Char& letter) {
  letter = DriveLetterOf(drive);
  if (letter == 0) return err::kInvalidParameter;
  if (!os::CanMountNtfsImages()) return err::kNotSupported;
  return os::DriveLetterInUse(letter) ? kAlreadyAssigned : err::kSuccess;
}

DWORD MountAt(Char letter, const os::NtfsImageMount& image) {
  WString folder;
  if (const DWORD error = MakeMountFolder(letter, folder)) return error;
  if (const DWORD error = os::MountNtfsImage(image, folder)) {
    RemoveMountFolder(folder);
    return error;
  }
  return os::SetDriveFolder(letter, folder);
}

// A split image as one sparse file beside it: the used stretches copied, the rest holes.
DWORD JoinParts(ImagePartsReader& reader, const WString& joined) {
  const SectorImageHeader& header = reader.Header();
  ImagePartsWriter writer(joined, header.partitionSize, 0);
  if (const DWORD error = writer.Create()) return error;
  std::vector<uint8_t> buffer(kCopyChunk);
  for (const Extent& extent : header.extents) {
    for (uint64_t at = 0; at < extent.length; at += kCopyChunk) {
      const DWORD length = static_cast<DWORD>(std::min<uint64_t>(kCopyChunk, extent.length - at));
      if (const DWORD error = reader.Read(header.dataOffset + extent.offset + at, buffer.data(), length))
        return error;
      if (const DWORD error = writer.Write(extent.offset + at, buffer.data(), length)) return error;
    }
  }
  return writer.Finish();
}

}  // namespace

DWORD MountImage(const char* drive, const char* image, int readOnly) {
  Char letter = 0;
  if (const DWORD error = FreeLetter(drive, letter)) return error;
  WString path;
  if (image == nullptr || os::FromSystemCodePage(image, path) != 0 || path.empty())
    return err::kInvalidParameter;
  ImagePartsReader reader;
  if (const DWORD error = reader.Open(path)) return error;
  const SectorImageHeader& header = reader.Header();
  os::NtfsImageMount mount{path, header.dataOffset, header.partitionSize, readOnly != 0, false};
  if (header.partSize == 0 || header.partSize >= header.ImageSize()) return MountAt(letter, mount);
  // The loop device holds the joined file open; its name can go at once.
  const WString joined = path + ORV_T(".joined");
  DWORD error = JoinParts(reader, joined);
  if (error == 0) {
    mount.file = joined;
    mount.offset = 0;
    error = MountAt(letter, mount);
  }
  os::DeleteFile(joined);
  return error;
}

DWORD UnmountImage(const char* drive) {
  const Char letter = DriveLetterOf(drive);
  if (letter == 0) return err::kInvalidParameter;
  if (!os::CanMountNtfsImages()) return err::kNotSupported;
  const WString folder = os::GetDriveFolder(letter);
  if (folder.empty()) return err::kInvalidDrive;
  // Only the mounts this library made: a drive of the caller is never taken away.
  const WString prefix = FolderPrefix();
  if (folder.compare(0, prefix.size(), prefix) != 0) return err::kAccessDenied;
  if (const DWORD error = os::UnmountNtfsImage(folder)) return error;
  RemoveMountFolder(folder);
  return os::SetDriveFolder(letter, ORV_T(""));
}

DWORD CreateAndMountImage(const char* drive, const char* image, DWORD sizeMiB, DWORD) {
  Char letter = 0;
  if (const DWORD error = FreeLetter(drive, letter)) return error;
  WString path;
  if (image == nullptr || sizeMiB == 0 || os::FromSystemCodePage(image, path) != 0 ||
      path.empty())
    return err::kInvalidParameter;
  SectorImageHeader header;
  header.partitionSize = uint64_t{sizeMiB} << 20;
  header.extents = {Extent{0, header.partitionSize}};
  header.dataOffset = DataOffsetFor(header.extents.size());
  const std::vector<uint8_t> head = EncodeHeader(header);
  {
    ImagePartsWriter writer(path, header.ImageSize(), 0);
    if (const DWORD error = writer.Create()) return error;
    if (const DWORD error = writer.Write(0, head.data(), static_cast<DWORD>(head.size())))
      return error;
    if (const DWORD error = writer.Finish()) return error;
  }
  const os::NtfsImageMount mount{path, header.dataOffset, header.partitionSize, false, true};
  const DWORD error = MountAt(letter, mount);
  if (error) os::DeleteFile(path);
  return error;
}

}  // namespace orv::lamina
