#include "wim_messages.h"

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
      std::fprintf(target.warnings, "\nskipped %s: error %u\n",
                   path != nullptr ? orv::os::ToUtf8(path).c_str() : "?",
                   static_cast<unsigned>(second));
      ++target.skipped;
      return orv::wim::kMsgSkipError;
    }
    default:
      return CancelRequested() ? orv::wim::kMsgAbortImage : orv::wim::kMsgSuccess;
  }
}

}  // namespace vantrel_cli
