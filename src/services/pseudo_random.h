// Numbers that make temporary names hard to foresee: one generator for the process,
// seeded once, so two names drawn within the same tick still differ.
#pragma once

#include <cstdint>

namespace orv {

uint32_t PseudoRandom();

}  // namespace orv
