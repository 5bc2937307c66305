#include "platform/local_memory.h"
#include "platform/win32/native.h"

namespace orv::os {

void* LocalAllocate(size_t size) { return ::LocalAlloc(LMEM_FIXED, size != 0 ? size : 1); }
void LocalRelease(void* memory) {
  if (memory != nullptr) ::LocalFree(memory);
}

}  // namespace orv::os
