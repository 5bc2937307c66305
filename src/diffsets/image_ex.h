// COrvImageEx: merges a run of an image's numbered differential sets into one, without
// recompressing anything: the newest copy of every file is copied block for block.
#pragma once

#include <cstdint>

#include "diffsets/merge_table.h"
#include "frame/implementation.h"

namespace orv {

class COrvMorlet;

// Opens an archive of a set for reading; a failure is logged and returned.
DWORD OpenSetArchive(COrvMorlet& reader, const WString& archive);

class COrvImageEx final : public COrvImplementation<IOrvImageEx, COrvImageEx> {
 public:
  BOOL MergeDifferentialSets(LPCTSTR pstrImageDir, int nFirst, int nLast,
                             ORVDCALLBACK pCallBack) override;

 private:
  DWORD Merge(const WString& imageFolder, int first, int last);
  // Fills the table from the sets' catalogues, archives and deletion lists. Anything
  // that cannot be read fails the merge before a file is touched: what could not be read
  // would otherwise be lost with the sets.
  DWORD ReadSets(const WString& imageFolder, int first, int last);
  DWORD ReadArchive(const WString& archive);
  // Copies the table into the new set's archive and deletion list in `work`.
  DWORD CopyEntries(const WString& work);
  DWORD CopyFrom(COrvMorlet& merged, const WString& archive, size_t index);
  DWORD WriteDeletions(const WString& work);
  bool Tick();  // one entry done: progress, and false when the caller cancels

  BOOL Send(DWORD message, ORVVALUE first, ORVVALUE second, ORVVALUE fourth);
  void SendAmount(DWORD message, uint64_t amount);

  ORVDCALLBACK callback_ = nullptr;
  MergeTable table_;
  uint64_t processed_ = 0;
  DWORD filesCopied_ = 0;
  uint64_t bytesCopied_ = 0;
};

}  // namespace orv
