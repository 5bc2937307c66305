#include "image/current_image.h"

#include <atomic>

namespace orv {

namespace {
std::atomic<COrvImage*> g_current{nullptr};
}

COrvImage* CurrentImage() { return g_current.load(); }

void MakeCurrentImage(COrvImage* image) { g_current.store(image); }

void ForgetCurrentImage(COrvImage* image) {
  COrvImage* expected = image;
  g_current.compare_exchange_strong(expected, nullptr);
}

}  // namespace orv
