#include "frame/attach.h"

#include "services/log.h"

namespace orv {

void OnProcessAttach() {
  COrvLog& log = COrvLog::GetInstance();
  if (!log.IsLevelConfigured()) log.SetLevelMask(COrvLog::kAllLevels);
  if (!log.IsInitialized()) log.Init(1);
}

}  // namespace orv
