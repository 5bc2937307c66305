// COrvImageEx: merges the numbered differential sets of an image into one.
#pragma once

#include "frame/implementation.h"

namespace orv {

class COrvImageEx final : public COrvImplementation<IOrvImageEx, COrvImageEx> {
 public:
  // Not built yet: fails with ORV_ERROR_NOT_SUPPORTED.
  BOOL MergeDifferentialSets(LPCTSTR, int, int, ORVDCALLBACK) override { return NotBuilt(); }
};

}  // namespace orv
