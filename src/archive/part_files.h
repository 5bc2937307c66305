// The part files of a version 5 or 6 archive: writing blocks with rotation at the split
// size, and reading blocks back across the ends of part files.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/write_behind.h"
#include "platform/file.h"

namespace orv::archive {

class PartWriter {
 public:
  void Reset(WStringView mainPath, DWORD number);
  bool IsOpen() const { return file_.IsOpen(); }
  DWORD Number() const { return number_; }
  uint64_t Position() const { return position_; }

  // Closes the current part and creates the next one (replacing any entry of its name,
  // a link included, as itself).
  DWORD NewPart();
  // Continues part `number` after its existing content (created when missing); a link at
  // its name is refused with 1920.
  DWORD OpenForAppend(DWORD number);
  // Puts the file pointer at the write position (no call when it stands there). Bytes
  // written past the position and still waiting in memory are dropped.
  DWORD SeekToPosition();
  // Writes at the file pointer; the position is not moved (see Advance). The bytes may
  // wait in memory until FlushPending, the next part or Close.
  DWORD Write(const void* bytes, DWORD size);
  DWORD FlushPending() { return out_.Flush(file_); }
  void Advance(uint64_t size) { position_ += size; }
  // After a block: a position past the split size starts the next part.
  DWORD RotateIfPast(uint64_t splitSize);
  // Starts the next part at once.
  DWORD StartNextPart() {
    position_ = 0;
    return NewPart();
  }
  // Writes out what waits, flushes the part to disk and closes it. A failed write-out
  // stays: later writes fail with it until Reset.
  DWORD Close();

 private:
  WString mainPath_;
  DWORD number_ = 0;
  uint64_t position_ = 0;
  // Where the file pointer stands once the waiting bytes are out, so that adds in a row
  // need no seek; all ones when unknown.
  uint64_t pointer_ = ~uint64_t{0};
  os::File file_;
  WriteBehind out_;
};

// Reads u32-length-prefixed blocks from part files. A block length that meets the end of
// a part file continues at the start of the next one, up to the last part the archive
// knows; lengths above the caller's bound are refused before any memory is taken.
class BlockReader {
 public:
  void Init(WStringView mainPath, DWORD lastPart) {
    if (mainPath != mainPath_) file_.Close();
    mainPath_ = mainPath;
    lastPart_ = lastPart;
  }
  bool IsOpen() const { return file_.IsOpen(); }
  // Opens part `part` at `offset`; logs `openFailure` ("... part#%u - %u") when it cannot.
  // A part that is open already is only positioned, so that entries read in order read
  // each part file through once.
  DWORD Open(DWORD part, uint64_t offset, WStringView openFailure);
  DWORD ReadBlock(std::vector<uint8_t>& block, uint32_t maxLength);
  void Close() { file_.Close(); }

 private:
  DWORD ReadLength(uint32_t& length, DWORD& done);

  WString mainPath_;
  DWORD lastPart_ = 0;
  DWORD part_ = 0;
  os::File file_;
};

}  // namespace orv::archive
