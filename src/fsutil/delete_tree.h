// Deletion of folder trees and archives where files are read-only, owned by others or
// denied to the administrators, and the privileges image work runs with.
#pragma once

#include "platform/text.h"
#include "vantrel/vantrel.h"

namespace orv {

// Longest path the routines take (in characters, terminating zero included).
inline constexpr size_t kMaxTreePath = 260;

// Deletes the folder, everything below it and the folder itself; failures of single
// entries are logged and the walk goes on. A folder another process holds open has its
// handles released. Returns 206 (and deletes nothing) for a path longer than the
// routines take, since cutting it would name another folder; else 0.
DWORD DeleteTree(WStringView folder);

// Deletes everything below the folder, leaving the folder. Junctions and symbolic links
// are removed without touching their targets; read-only files lose the attribute first.
BOOL DeleteContents(WStringView folder);

// Deletes an archive and its part and index files: every file of its folder whose name
// starts with the archive's base name and ends with its extension. 123 for a path with
// wildcards, which would widen the match.
DWORD DeleteArchiveFiles(WStringView archivePath);

// Enables (TRUE) or disables the privileges image work needs; failures are logged.
void SetImagePrivileges(BOOL enable);

// Makes the Administrators group the owner of a file or folder.
void TakeOwnership(const Char* path);
// The same for a folder and its direct children; FALSE with 0x10000002 for no path.
BOOL TakeOwnershipAndChildren(const Char* path, COrvError& error);

}  // namespace orv
