#include "platform/notice.h"

#include <atomic>

namespace orv::os {

namespace {
std::atomic<NoticeSink> g_sink{nullptr};
}

void SetNoticeSink(NoticeSink sink) { g_sink.store(sink); }

void Notice(WStringView text) {
  if (NoticeSink sink = g_sink.load()) sink(text);
}

}  // namespace orv::os
