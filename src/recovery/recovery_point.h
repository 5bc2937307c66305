// COrvRecoveryPoint: an archive of the files changed since the previous recovery point.
#pragma once

#include "frame/implementation.h"

namespace orv {

class COrvRecoveryPoint final : public COrvImplementation<IOrvRecoveryPoint, COrvRecoveryPoint> {
 public:
  // Not built yet: fails with ORV_ERROR_NOT_SUPPORTED.
  BOOL Create(LPCTSTR, LPCTSTR, LPCTSTR, LPCTSTR, ORVDCALLBACK) override { return NotBuilt(); }
};

}  // namespace orv
