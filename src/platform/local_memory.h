// Memory that one component allocates and another frees, the way the Windows imaging
// interface hands out buffers (LocalAlloc on one side, LocalFree on the other).
#pragma once

#include <cstddef>

namespace orv::os {

// Null when the memory cannot be obtained.
void* LocalAllocate(size_t size);
// Accepts null.
void LocalRelease(void* memory);

}  // namespace orv::os
