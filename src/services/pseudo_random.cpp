#include "services/pseudo_random.h"

#include <mutex>
#include <random>

#include "platform/clock.h"

namespace orv {

uint32_t PseudoRandom() {
  static std::mutex guard;
  static std::minstd_rand generator(os::TickCount());
  const std::lock_guard<std::mutex> lock(guard);
  return static_cast<uint32_t>(generator());
}

}  // namespace orv
