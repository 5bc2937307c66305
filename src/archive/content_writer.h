// Writes an entry's content into its target file. For a sparse file, blocks that are
// all zeros are skipped instead of written, so they stay holes and a file of gigabytes
// of holes takes no room on the target volume.
#pragma once

#include <cstdint>

#include "archive/content_sink.h"
#include "platform/file.h"

namespace orv::archive {

class ContentWriter final : public ContentSink {
 public:
  // `sparse`: the entry carries the sparse attribute; the file is marked sparse where
  // the file system keeps that mark.
  ContentWriter(os::File& target, bool sparse);

  DWORD Write(const uint8_t* bytes, DWORD size) override;
  // Copies what is left of `source` from its file pointer.
  DWORD CopyFrom(os::File& source);
  // Gives the file its whole length when it ends in a hole.
  DWORD Finish();
  uint64_t Written() const { return written_; }

 private:
  os::File& target_;
  bool sparse_;
  bool endsInHole_ = false;
  uint64_t written_ = 0;
};

}  // namespace orv::archive
