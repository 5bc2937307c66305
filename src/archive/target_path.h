// Where an archive entry may be written. An entry name is accepted only when it stays
// below the target folder: no ".." component (nor one Windows would read as "..", such
// as ". ." with trailing dots and spaces), no drive prefix or stream (":"), no NUL, no
// name rooted at "\\" or "/" (device, UNC or native paths). The one rule for every name
// read from a file and joined to a folder (catalogue names too). A leading single backslash is an
// empty first component, as in the name tree, and stays inside the target.
//
// Before anything is written the folders on the way are checked one by one: an existing
// link or reparse point inside the target is never written through.
#pragma once

#include "platform/text.h"
#include "vantrel/types.h"

namespace orv::archive {

bool IsSafeEntryName(WStringView name);

// folder + "\" + name, or 123 for an unsafe name, 206 past `maxChars`.
DWORD BuildTargetPath(WStringView folder, WStringView name, size_t maxChars, WString& target);

// Creates the target folder and the missing folders between it and the parent of `target` (which lies
// below it). 123 when one of them exists as a link or reparse point, or is no folder.
// `createdParent` tells whether the folder that holds `target` was made here.
DWORD PrepareParentFolders(WStringView folder, WStringView target, bool& createdParent);

// 123 when `path` exists as a link or reparse point.
DWORD RefuseExistingLink(WStringView path);

}  // namespace orv::archive
