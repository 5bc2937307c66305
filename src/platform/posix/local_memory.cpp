#include <cstdlib>

#include "platform/local_memory.h"

namespace orv::os {

void* LocalAllocate(size_t size) { return std::malloc(size != 0 ? size : 1); }
void LocalRelease(void* memory) { std::free(memory); }

}  // namespace orv::os
