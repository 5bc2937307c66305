// The virtual-disk library (src/lamina: "lamina.dll" on Windows, "liblamina.so" on Linux),
// loaded for each use and freed afterwards. Its functions take ANSI strings, a drive as a
// letter and a colon. Where the library is missing Load fails with 126 and the callers
// take their fallbacks.
#pragma once

#include <string>

#include "platform/process.h"

namespace orv {

// The first drive letter from Z down to C that names no volume, where a virtual disk can
// be mounted; '.' when every one is taken.
Char FindFreeDriveLetter();

class VirtualDiskLibrary {
 public:
  // The sector-copy progress routine: a non-zero flag, an ignored value, the caller's
  // counter; 0 stops the copy.
  using Progress = int(ORV_CALLBACK*)(int flag, int unused, DWORD* counter);

  // Only the file of that name in the library's own folder (os::GetLibraryFolder); 126
  // when it is not there.
  DWORD Load();
  bool HasCloneWithSplitSize() const;
  bool HasClone() const;

  // 0 on success; 127 when the library lacks the function.
  int Mount(const std::string& drive, const std::string& image, int readOnly);
  int UnMount(const std::string& drive);
  int CreateAndMount(const std::string& drive, const std::string& image, DWORD sizeMiB,
                     DWORD splitMiB);
  // Negative on failure.
  int CloneDriveUsedSectors(const std::string& drive, const std::string& target, int mode,
                            Progress progress, HANDLE stopEvent);
  int CloneDriveUsedSectorsSplitSize(const std::string& drive, const std::string& target, int mode,
                                     Progress progress, DWORD splitMiB, HANDLE stopEvent);

 private:
  template <class Function>
  Function Find(const char* name) const {
    return reinterpret_cast<Function>(module_.Find(name));
  }

  os::Module module_;
};

}  // namespace orv
