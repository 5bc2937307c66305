// The component is not part of this system: it answers as a component that is not
// registered.
#include "services/file_monitor.h"

#include "services/shadow_copy.h"

namespace orv {

DWORD CreateFilesMonitoring(std::unique_ptr<IOrvFilesMonitoring>& component) {
  component.reset();
  return kComponentNotRegistered;
}

}  // namespace orv
