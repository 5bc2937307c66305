#include "services/virtual_disk.h"

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/volume.h"

namespace orv {

namespace {

using MountFunction = int(ORV_CALLBACK*)(const char*, const char*, int);
using UnMountFunction = int(ORV_CALLBACK*)(const char*);
using CreateFunction = int(ORV_CALLBACK*)(const char*, const char*, DWORD, DWORD, int);
using CloneFunction = int(ORV_CALLBACK*)(const char*, const char*, int,
                                         VirtualDiskLibrary::Progress, HANDLE);
using CloneSplitFunction = int(ORV_CALLBACK*)(const char*, const char*, int,
                                              VirtualDiskLibrary::Progress, DWORD, HANDLE);

constexpr int kMissingFunction = static_cast<int>(err::kProcNotFound);
constexpr Char kBaseName[] = ORV_T("lamina");

}  // namespace

Char FindFreeDriveLetter() {
  for (Char letter = 'Z'; letter >= 'C'; --letter)
    if (!os::DriveLetterInUse(letter)) return letter;
  return '.';
}

DWORD VirtualDiskLibrary::Load() {
  WString folder;
  DWORD attributes;
  if (os::GetLibraryFolder(folder) != 0) return err::kModNotFound;
  const WString path = folder + ORV_T("\\") + os::SharedLibraryFileName(kBaseName);
  if (os::GetAttributes(path, attributes) != 0) return err::kModNotFound;
  return module_.Load(path);
}

bool VirtualDiskLibrary::HasCloneWithSplitSize() const {
  return module_.Find("CloneDriveUsedSectorsSplitSize") != nullptr;
}

bool VirtualDiskLibrary::HasClone() const {
  return module_.Find("CloneDriveUsedSectors") != nullptr;
}

int VirtualDiskLibrary::Mount(const std::string& drive, const std::string& image, int readOnly) {
  const auto mount = Find<MountFunction>("Mount");
  return mount ? mount(drive.c_str(), image.c_str(), readOnly) : kMissingFunction;
}

int VirtualDiskLibrary::UnMount(const std::string& drive) {
  const auto unmount = Find<UnMountFunction>("UnMount");
  return unmount ? unmount(drive.c_str()) : kMissingFunction;
}

int VirtualDiskLibrary::CreateAndMount(const std::string& drive, const std::string& image,
                                       DWORD sizeMiB, DWORD splitMiB) {
  const auto create = Find<CreateFunction>("CreateAndMount");
  return create ? create(drive.c_str(), image.c_str(), sizeMiB, splitMiB, 0) : kMissingFunction;
}

int VirtualDiskLibrary::CloneDriveUsedSectors(const std::string& drive, const std::string& target,
                                              int mode, Progress progress, HANDLE stopEvent) {
  const auto clone = Find<CloneFunction>("CloneDriveUsedSectors");
  return clone ? clone(drive.c_str(), target.c_str(), mode, progress, stopEvent) : -1;
}

int VirtualDiskLibrary::CloneDriveUsedSectorsSplitSize(const std::string& drive,
                                                       const std::string& target, int mode,
                                                       Progress progress, DWORD splitMiB,
                                                       HANDLE stopEvent) {
  const auto clone = Find<CloneSplitFunction>("CloneDriveUsedSectorsSplitSize");
  return clone ? clone(drive.c_str(), target.c_str(), mode, progress, splitMiB, stopEvent) : -1;
}

}  // namespace orv
