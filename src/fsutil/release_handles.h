// Release of the handles that processes hold on a folder, so that a removed folder
// that is still pending can go.
#pragma once

#include "platform/file.h"
#include "platform/text.h"

namespace orv {

// Finds every handle on the folder (a full path; `object`, when given, is its identity,
// taken before its deletion left it pending) and closes it in its process. Returns the
// number of handles found. On Linux nothing needs closing (a removed folder goes even
// while others hold it); the holders are logged.
DWORD ReleaseHandlesOnPath(WStringView folder, const os::FileIdentity* object = nullptr);

}  // namespace orv
