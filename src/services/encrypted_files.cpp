// The component is not part of this system: it answers as a component that is not
// registered, and the callers take their fallbacks.
#include "services/encrypted_files.h"

#include "services/shadow_copy.h"

namespace orv {

DWORD PutRawContentToFile(WStringView, WStringView) { return kComponentNotRegistered; }

}  // namespace orv
