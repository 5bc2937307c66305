// Deletion of folder trees and archives where files are read-only, owned by others or
// denied to the administrators, and the privileges image work runs with.
#pragma once

#include "platform/text.h"
#include "vantrel/vantrel.h"

namespace orv {

// Longest path the routines take (in characters, terminating zero included).
inline constexpr size_t kMaxTreePath = 260;

// Deletes the folder, everything below it and the folder itself. Links are never
// followed: a link given as the folder is removed as a link, links inside the tree go
// without their targets, and the walk reaches every entry through the open folder that
// holds it (platform/folder.h), so a folder swapped for a link under the walk cannot
// lead it elsewhere. Failures of single entries are logged and the walk goes on; a
// folder another process holds open has its handles released.
// Returns 0 when everything is gone (or nothing was there), else the first failure;
// 206 (and nothing deleted) for a path longer than the routines take, since cutting it
// would name another folder; 267 for a file.
DWORD DeleteTree(WStringView folder);

// Deletes the entry `relative` names below the folder `root`, whatever it is: a folder
// with everything below it, a file, or a link as itself. Every folder on the way is
// entered without following a link, so a name that leads through a link deletes
// nothing (123); `relative` must stay inside `root` (no "..", no root or drive, no
// stream). Nothing there is success.
DWORD DeleteBelow(WStringView root, WStringView relative);
// Deletes everything below the folder, leaving the folder, with the rules of
// DeleteTree; read-only files lose the attribute first. TRUE when everything went;
// FALSE also when the folder is a link (not entered) or cannot be opened.
BOOL DeleteContents(WStringView folder);

// Deletes an archive and its part and index files: every file of its folder whose name
// starts with the archive's base name and ends with its extension. 123 for a path with
// wildcards, which would widen the match.
DWORD DeleteArchiveFiles(WStringView archivePath);

// Enables (TRUE) or disables the privileges image work needs; failures are logged.
// Calls nest: the privileges go off at the disabling that matches the first enabling,
// and only those that this code enabled (one the caller had enabled stays enabled).
void SetImagePrivileges(BOOL enable);

// Makes the Administrators group the owner of a file or folder.
void TakeOwnership(const Char* path);
// The same for a folder and its direct children; FALSE with 0x10000002 for no path.
BOOL TakeOwnershipAndChildren(const Char* path, COrvError& error);

}  // namespace orv
