// Snapshots of the volume being captured. Only the volume of the running Windows needs
// one (outside the preinstallation environment): the snapshot component is tried first,
// then the snapshot library. Without either the capture reads the live volume.
#include "image/capture_paths.h"
#include "image/image.h"
#include "services/log.h"
#include "services/system.h"

namespace orv {

void COrvImage::TakeShadowCopy(const COrvPartition& partition) {
  if (COrvSystem::RunUnderWinPE() ||
      !COrvSystem::IsSystemVolume(partition.diskNumber, partition.number))
    return;
  COrvLog& log = COrvLog::GetInstance();
  const WString& mountPoint = partition.GetVolume().GetVolumeMountPoint();
  WString device;
  std::unique_ptr<IOrvShadowCopy> component;
  DWORD error = CreateShadowCopyComponent(component);
  if (error == 0) error = component->Start(mountPoint, device);
  if (error == 0) {
    capture_.shadowPath = device.substr(0, kMaxImagePath) + ORV_T("\\");
    capture_.shadow = true;
    shadowCopy_ = std::move(component);
    log.AddInfo(ORV_T("Shadow Volume: %s"), capture_.shadowPath);
    return;
  }
  m_Error.SetError(error);
  log.AddError(ORV_T("VSS by Service Failed - %u (%8.8X)"), error, error);

  std::unique_ptr<IOrvShadowCopy> library = GetVSSInstance();
  error = library->Start(mountPoint, device);
  if (error != 0) {
    m_Error.SetError(error);
    log.AddError(ORV_T("VSS error - %u"), error);
    return;
  }
  capture_.shadowPath = device.substr(0, kMaxImagePath) + ORV_T("\\");
  capture_.shadow = true;
  shadowCopy_ = std::move(library);
  log.AddInfo(ORV_T("Volume Shadow Copy: %s"), capture_.shadowPath);
}

void COrvImage::ReleaseShadowCopy() {
  if (shadowCopy_) shadowCopy_->Delete();
  shadowCopy_.reset();
  capture_.shadow = false;
  capture_.shadowPath.clear();
}

}  // namespace orv
