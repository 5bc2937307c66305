// Snapshots of a volume, read instead of the live volume while Windows runs on it. Two
// providers are tried in turn: the snapshot component (a local COM server) and the
// snapshot library. Where neither exists (Linux, or a Windows without them) creating
// one fails with the code the callers log, and capture goes on without a snapshot.
#pragma once

#include <memory>

#include "platform/text.h"

namespace orv {

// What CoCreateInstance answers for a component that is not installed.
inline constexpr DWORD kComponentNotRegistered = 0x80040154;

class IOrvShadowCopy {
 public:
  virtual ~IOrvShadowCopy() = default;
  // Creates a snapshot of the volume at `mountPoint`; `devicePath` receives the
  // snapshot's device path ("\\?\GLOBALROOT\Device\HarddiskVolumeShadowCopy<n>").
  virtual DWORD Start(WStringView mountPoint, WString& devicePath) = 0;
  // Deletes the snapshot made by Start.
  virtual DWORD Delete() = 0;
};

// The snapshot component; fails with kComponentNotRegistered where it is not installed.
DWORD CreateShadowCopyComponent(std::unique_ptr<IOrvShadowCopy>& component);
// The snapshot library (the fallback); its Start fails with 50 where snapshots do not exist.
std::unique_ptr<IOrvShadowCopy> GetVSSInstance();

}  // namespace orv
