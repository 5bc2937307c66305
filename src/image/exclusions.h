// The volume-root entries a capture never takes (the snapshot store, the page and
// hibernation files, recycle bins, offline caches, the NTFS log), and the three ways
// the capture paths test them.
#pragma once

#include "platform/text.h"

namespace orv {

// The walk of a volume: the display name (":\" and the path below the root) contains
// one of them, so the entries below an excluded folder go too, and so does any longer
// root name that starts the same ("recycler2").
bool ExcludedFromWalk(WStringView displayName);
// The WIM engine in byte-count style and the listing of a sector image: the display
// name is one of them, ignoring case.
bool IsDefaultExclusion(WStringView displayName);
// The WIM engine in percentage style: the path below the captured folder, with its
// leading backslash, is one of them, ignoring case.
bool IsDefaultExclusionPath(WStringView path);

}  // namespace orv
