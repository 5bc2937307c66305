// Writing one archive entry into a target folder with its metadata, the same for every
// version: the version hands over where content, reparse record and security
// descriptor come from.
//
// Files are made through the session's restore target (restore_target.h), so a failed
// extraction leaves what was there and no link is written through. A link is recreated
// from its reparse record. Names that would leave the folder, and folders on the way
// that are links, refuse the entry with 123.
#pragma once

#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include "archive/content_writer.h"
#include "archive/restore_target.h"
#include "platform/file.h"
#include "vantrel/vantrel.h"

namespace orv::archive {

struct RestoreItem {
  WString name;
  ORVFILEATTRIBUTEDATA attributes{};
  WString shortName;
  WString holdingShortName;  // version 1: given to the holding folder when it is created
  WString tempName;          // encrypted files: the staging file's name
  bool localTimes = false;   // version 1 stores local times
  bool withMetadata = true;  // version 1 keeps no encryption and no compression state
};

struct RestoreSources {
  // Writes the content through the writer; returns an error code.
  std::function<DWORD(ContentWriter&)> content;
  // Reads the stored reparse record (the reparse data buffer).
  std::function<DWORD(std::vector<uint8_t>&)> reparse;
  // Reads the security descriptor; empty result when the entry has none. A failure
  // fails the entry.
  std::function<DWORD(std::vector<uint8_t>&)> descriptor;
};

// What one walk of extractions remembers: the times of the folders it restored, put back
// each time an entry written inside such a folder has changed them, and the folders it
// writes into.
struct RestoreSession {
  std::unordered_map<WString, os::FileTimes> folderTimes;
  RestoreTarget target;
};

DWORD RestoreEntry(WStringView folder, const RestoreItem& item, const RestoreSources& sources,
                   RestoreSession& session);

}  // namespace orv::archive
