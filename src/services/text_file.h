// Whole-file reads and writes for the small text files of an image: catalogues, the
// layout file and the disk description. Text files are UTF-16LE with a byte-order mark.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/file.h"
#include "platform/text.h"

namespace orv {

// The byte-order mark of UTF-16LE text files, as the 16-bit value that is written.
inline constexpr uint16_t kUtf16ByteOrderMark = 0xFEFF;

// Reads a whole file; files larger than `limit` bytes fail with 8 (not enough memory)
// instead of being trusted with an allocation of their size.
DWORD ReadWholeFile(WStringView path, std::vector<uint8_t>& bytes,
                    uint64_t limit = 256u * 1024 * 1024);

// A file written beside its target and put in its place only once it is whole: the one
// way every catalogue and layout file is saved, so that a failure (a full disk, a
// limit, a lost device) leaves the file as it was and is reported. The new content goes
// to a file of its own name beside the target ("<target>.<number>.new", created new, so
// never through something already there), is flushed, and then replaces the target
// (or, for a target that must not exist yet, takes the free name).
class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();  // an unfinished file is thrown away, the target untouched
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Starts the new content of `target`. With `replace` false the target must not exist
  // (80, checked now and again at the end).
  DWORD Open(WStringView target, bool replace);
  bool IsOpen() const { return file_.IsOpen(); }
  // Appends bytes; a short write is a full disk (112). The first failure sticks.
  DWORD Write(const void* bytes, size_t size);
  // Flushes the new content and puts it in the target's place: the first failure of the
  // whole file, 0 when the target now holds it. Without it the target is left as it was.
  DWORD Commit();
  // Drops the new content and leaves the target as it was.
  void Discard();
  const WString& Target() const { return target_; }

 private:
  os::File file_;
  WString target_, temporary_;
  bool replace_ = false;
  DWORD failure_ = 0;
};

// Replaces the content of a file (creating it when missing), atomically (AtomicFile).
DWORD ReplaceFileContent(WStringView path, const std::vector<uint8_t>& bytes);

// Creates a new file (80 when it exists already, which leaves it unchanged) holding
// the byte-order mark and `text` as UTF-16LE, without a terminating zero; atomically.
DWORD CreateUtf16TextFile(WStringView path, WStringView text);

// The UTF-16LE bytes of `text`, without byte-order mark.
std::vector<uint8_t> Utf16LeBytes(WStringView text);
// The lines of UTF-16LE text (a byte-order mark skipped), without their CR LF; a last
// empty line is dropped.
std::vector<WString> Utf16LeLines(const std::vector<uint8_t>& bytes);

}  // namespace orv
