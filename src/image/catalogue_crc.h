// ALL.CRC: one line per captured entry of a volume, "name=marker|size,time" in UTF-16LE
// with a byte-order mark and CR LF line ends. The marker tells directories
// (FFFFFFFF) from everything else (FFFFFFFE); no checksum is computed.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "image/name_table.h"
#include "platform/case_fold.h"
#include "platform/file.h"
#include "services/string.h"
#include "services/text_file.h"

namespace orv {

inline constexpr DWORD kCrcDirectoryMarker = 0xFFFFFFFF;
inline constexpr DWORD kCrcFileMarker = 0xFFFFFFFE;

// The time value of a line: the last-write time as seconds since 1970 of the local
// calendar time; 0 when the time cannot be converted or lies before 1900.
int64_t CrcTimeValue(os::FileTime lastWrite);

// One line with its CR LF. Full images write signed size and time, differential
// images unsigned ones.
WString FormatCrcLine(WStringView name, DWORD marker, uint64_t size, int64_t time,
                      bool differential);

// The writer of one ALL.CRC. The file is created new: when it exists already it is left
// as it is and the lines are dropped. The lines go to a new file beside it, which takes
// the name only when Close has flushed it whole (AtomicFile): a failed capture never
// leaves a cut catalogue behind.
class CrcCatalogueWriter {
 public:
  // 0, or the error of the create (logged as "CreateFile(%s) failed - %u").
  DWORD Open(WStringView path, bool differential);
  bool IsOpen() const { return file_.IsOpen(); }
  // Adds one line when the file is open; lines are written in blocks of 64 KiB, and the
  // first failure sticks (Close reports it too).
  DWORD Append(WStringView name, DWORD marker, uint64_t size, int64_t time);
  // Puts the catalogue in place: 0, or the first failure of the whole file (logged),
  // which the caller's operation fails with. 0 when nothing was open.
  [[nodiscard]] DWORD Close();
  // Drops what was written; the catalogue is not created.
  void Abandon() {
    pending_.clear();
    file_.Discard();
  }

 private:
  static constexpr size_t kWriteSize = 64 * 1024;
  DWORD WritePending();

  AtomicFile file_;
  std::vector<uint8_t> pending_;
  bool differential_ = false;
};

// A line of a reference catalogue, and what the change scan finds of its entry.
struct CrcRecord {
  DWORD state = 0;  // as read: 0; the scan sets its own states (image/change_rules.h)
  DWORD marker = 0;
  uint64_t size = 0;
  int64_t time = 0;
  DWORD attributes = 0;      // seen on the volume
  os::FileTime lastWrite = 0;  // seen on the volume
  bool sharingViolation = false;
};

// The reference table, in the order of its lines.
using CrcTable = NameTable<CrcRecord>;

// One line of a catalogue file as it was read. `wellFormed` is false for a line without
// "=", "|" or ","; its record is then empty and its name the text before the last "="
// (empty without one).
struct CrcLine {
  size_t number = 0;  // 1 for the first line
  WStringView name;
  CrcRecord record;
  bool wellFormed = false;
};
// Reads every non-empty line of a catalogue file in order, skipping no name. 0; 2 or 3
// when the file is missing; the error of a read that fails on the way.
DWORD ReadCrcLines(WStringView path, const std::function<void(const CrcLine&)>& take);

// Reads "<folder>\<baseName>.crc" into `table` (a name already present keeps its first
// record). Sets `i386` when an entry is named I386. A missing file is no error.
void ReadCrcFile(WStringView folder, WStringView baseName, CrcTable& table, bool& i386);

// Reads the reference catalogue of an image folder: Windows.crc first, then ALL.CRC.
void ReadReferenceCatalogue(WStringView folder, CrcTable& table, bool& i386);

}  // namespace orv
