// Windows has a file monitor of its own: the recorder is not built there.
#include "services/change_recorder.h"

#include "platform/errors.h"

namespace orv {

DWORD RecordChanges(const std::vector<WatchedTree>&, WStringView, ChangeRecorderReport&) {
  return err::kNotSupported;
}

}  // namespace orv
