// COrvMrlComparison: compares the partition layout stored in an image with a disk.
#pragma once

#include "frame/implementation.h"

namespace orv {

// Not built yet: every operation fails with ORV_ERROR_NOT_SUPPORTED.
class COrvMrlComparison : public COrvImplementation<IOrvMrlComparison> {
 public:
  BOOL GetFirstPartition(LPLAYOUTPARTITIONDATA) override { return NotBuilt(); }
  BOOL GetNextPartition(LPLAYOUTPARTITIONDATA) override { return NotBuilt(); }
  void Close() override { NotBuilt<void>(); }
  BOOL OpenComparison(DWORD, LPCTSTR, int) override { return NotBuilt(); }
};

}  // namespace orv
