// Neither snapshot provider is part of this system: the component is not registered,
// and the library's snapshots answer "not supported", so the callers take the way
// without a snapshot.
#include "services/shadow_copy.h"

#include "platform/errors.h"

namespace orv {

namespace {

class NoSnapshots final : public IOrvShadowCopy {
 public:
  DWORD Start(WStringView, WString& devicePath) override {
    devicePath.clear();
    return err::kNotSupported;
  }
  DWORD Delete() override { return err::kSuccess; }
};

}  // namespace

DWORD CreateShadowCopyComponent(std::unique_ptr<IOrvShadowCopy>& component) {
  component.reset();
  return kComponentNotRegistered;
}

std::unique_ptr<IOrvShadowCopy> GetVSSInstance() { return std::make_unique<NoSnapshots>(); }

}  // namespace orv
