#include "wim_messages.h"

#include "error_text.h"
#include "platform/encoding.h"
#include "wim/engine.h"

namespace vantrel_cli {

DWORD ORV_CALLBACK WimMessageRoutine(DWORD message, ORVVALUE first, ORVVALUE second, void* data) {
  auto& target = *static_cast<WimMessageTarget*>(data);
  switch (message) {
    case orv::wim::kMsgProgress: {
      if (target.bar == nullptr) return orv::wim::kMsgSuccess;
      if (!target.started) {
        target.bar->OnMessage(ORV_MSG_START, 100, 0);
        target.started = true;
      }
      const bool goOn = target.bar->OnMessage(ORV_MSG_PROGRESS, first, 0) != FALSE;
      return goOn ? orv::wim::kMsgSuccess : orv::wim::kMsgAbortImage;
    }
    case orv::wim::kMsgError: {
      const auto* path = reinterpret_cast<const orv::Char*>(first);
      if (target.bar != nullptr) target.bar->Finish();
      std::fprintf(target.warnings, "vantrel: skipped: %s: %s\n", ErrorText(static_cast<DWORD>(second)).c_str(),
                   path != nullptr ? orv::os::ToUtf8(path).c_str() : "(no name given)");
      ++target.skipped;
      return orv::wim::kMsgSkipError;
    }
    default:
      return CancelRequested() ? orv::wim::kMsgAbortImage : orv::wim::kMsgSuccess;
  }
}

}  // namespace vantrel_cli
