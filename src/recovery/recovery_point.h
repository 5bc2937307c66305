// COrvRecoveryPoint: an archive of the files changed since the previous recovery point.
#pragma once

#include "frame/implementation.h"

namespace orv {

class COrvRecoveryPoint final : public COrvImplementation<IOrvRecoveryPoint, COrvRecoveryPoint> {
 public:
  // Stores in the new folder (BASE.INP, DEL.XML, BASE.XML, DESC.TXT) what the change
  // database lists after the previous point's BASE.XML was written.
  BOOL Create(LPCTSTR pstrDBFile, LPCTSTR pstrLastRecoveryPointDir, LPCTSTR pstrRecoveryPointDir,
              LPCTSTR pstrDesc, ORVDCALLBACK pCallback) override;

 private:
  BOOL CreatePoint(LPCTSTR pstrDBFile, LPCTSTR pstrLastRecoveryPointDir,
                   LPCTSTR pstrRecoveryPointDir, LPCTSTR pstrDesc, ORVDCALLBACK pCallback);
};

}  // namespace orv
