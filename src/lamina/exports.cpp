// The functions the library exports, by their plain names, with C linkage and the
// system's calling convention for callbacks.
#include "lamina/clone.h"
#include "lamina/mount.h"

#if defined(_WIN32)
#define LAMINA_EXPORT extern "C" __declspec(dllexport)
#else
#define LAMINA_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;

}  // namespace

LAMINA_EXPORT int ORV_CALLBACK CloneDriveUsedSectors(const char* drive, const char* target,
                                                     int mode,
                                                     orv::VirtualDiskLibrary::Progress progress,
                                                     HANDLE stopEvent) {
  return orv::lamina::CloneUsedSectors(drive, target, mode, progress, 0, stopEvent);
}

LAMINA_EXPORT int ORV_CALLBACK CloneDriveUsedSectorsSplitSize(
    const char* drive, const char* target, int mode, orv::VirtualDiskLibrary::Progress progress,
    DWORD splitMiB, HANDLE stopEvent) {
  return orv::lamina::CloneUsedSectors(drive, target, mode, progress, splitMiB * kMiB, stopEvent);
}

LAMINA_EXPORT int ORV_CALLBACK Mount(const char* drive, const char* image, int readOnly) {
  return static_cast<int>(orv::lamina::MountImage(drive, image, readOnly));
}

LAMINA_EXPORT int ORV_CALLBACK UnMount(const char* drive) {
  return static_cast<int>(orv::lamina::UnmountImage(drive));
}

LAMINA_EXPORT int ORV_CALLBACK CreateAndMount(const char* drive, const char* image, DWORD sizeMiB,
                                              DWORD splitMiB, int) {
  return static_cast<int>(orv::lamina::CreateAndMountImage(drive, image, sizeMiB, splitMiB));
}
