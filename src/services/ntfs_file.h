// What one record of the master file table says about its file: the state of the
// record, the file's name and parent folder, its attributes, and where its data lies.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/text.h"
#include "services/ntfs_runs.h"

namespace orv::ntfs {

struct FileFacts {
  uint16_t sequence = 0;
  bool inUse = false;
  bool isDirectory = false;
  bool isBase = false;  // a base record, not an extension of another one
  bool hasName = false;
  uint64_t parent = 0;  // file reference of the folder that holds the name
  WString name;         // the long name where the file has a short one too
  bool shortNameOnly = false;  // the record holds only the file's short name
  bool listed = false;         // the record has an attribute list
  DWORD attributes = 0;
};

// 1392 when the record's attributes are damaged.
DWORD ReadFileFacts(const std::vector<uint8_t>& record, FileFacts& facts);

struct FileData {
  bool resident = false;
  std::vector<uint8_t> value;  // the data of a resident attribute
  std::vector<Extent> extents;
  uint64_t size = 0;
  uint64_t initialized = 0;  // bytes past this read as zeros
  bool listed = false;       // the record has an attribute list (ntfs_attribute_list.h)
  // Compressed streams: the clusters of one compression unit (0 when not compressed).
  // A unit with all its clusters holds its content as it is, one without any reads as
  // zeros, and one with fewer holds LZNT1 chunks in its first clusters.
  uint32_t unitClusters = 0;
};

// The file's unnamed data stream. 2 when it has none; 50 when it lies (partly) in further
// records, `listed` then being set, or is compressed other than in units of 2 to 4,096
// clusters; 6002 when it is encrypted; 1392 when its runs are damaged or do not cover
// its size.
DWORD LocateFileData(const std::vector<uint8_t>& record, uint64_t totalClusters,
                     uint32_t clusterSize, FileData& data);
// The piece of the stream that the record holds from cluster `firstVcn` on, its sizes
// being those of the whole stream when it is the first piece.
DWORD LocateDataPiece(const std::vector<uint8_t>& record, uint64_t totalClusters,
                      uint64_t firstVcn, FileData& data);

}  // namespace orv::ntfs
