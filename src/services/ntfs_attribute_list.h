// Files whose attributes outgrow their record: the attribute list of the base record
// names the extension records that hold the further attributes: names, and the pieces
// of the data stream, each piece starting at its own cluster of the stream.
#pragma once

#include <cstdint>
#include <vector>

#include "services/ntfs_file.h"
#include "services/ntfs_volume.h"

namespace orv::ntfs {

// Gathers the runs of the unnamed data stream of base record `number` from the records
// its attribute list names, in stream order. 1392 when the list or a piece is damaged,
// names a record that is no extension of this one, or leaves a gap; 50 and 6002 as
// LocateFileData gives them.
DWORD ReadListedData(Volume& volume, uint64_t number, const std::vector<uint8_t>& base,
                     FileData& data);

// The name and parent folder of base record `number` from the extension records its
// attribute list names, where the base record holds none (or only a short name). 2 when
// the list names none; 1392 as above.
DWORD ReadListedName(Volume& volume, uint64_t number, const std::vector<uint8_t>& base,
                     FileFacts& facts);

// ReadFileFacts, with the name taken from the extension records where the base record
// holds none or only a short one. Damaged extension records leave the base's facts.
DWORD ReadEntryFacts(Volume& volume, uint64_t number, const std::vector<uint8_t>& base,
                     FileFacts& facts);

}  // namespace orv::ntfs
