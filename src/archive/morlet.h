// COrvMorlet: the library's own archive format (.INP), writer and reader.
#pragma once

#include "frame/implementation.h"

namespace orv {

// Not built yet: every operation fails with ORV_ERROR_NOT_SUPPORTED and a zero result.
class COrvMorlet : public COrvImplementation<IOrvMorlet> {
 public:
  BOOL ExtractCurrent(LPCTSTR, int) override { return NotBuilt(); }
  BOOL ExtractFile(LPCTSTR, LPCTSTR) override { return NotBuilt(); }
  BOOL AddFile(LPCTSTR, LPCTSTR, const void*, DWORD, const ORVFILEATTRIBUTEDATA*) override {
    return NotBuilt();
  }
  BOOL FindEntry(LPCTSTR) override { return NotBuilt(); }
  BOOL NextEntry(int) override { return NotBuilt(); }
  BOOL Close() override { return NotBuilt(); }
  BOOL Open(LPCTSTR, int, int) override { return NotBuilt(); }
  DWORD GetArchiveType() override { return NotBuilt<DWORD>(); }
  BOOL GetEntryName(LPTSTR, int) override { return NotBuilt(); }
  BOOL GetMountPath(LPTSTR, int) override { return NotBuilt(); }
  ORVFILEATTRIBUTEDATA GetEntryAttributes() override { return NotBuilt<ORVFILEATTRIBUTEDATA>(); }
  void SetCompression(DWORD) override { NotBuilt<void>(); }
  BOOL GetEntryTempName(LPTSTR, int) override { return NotBuilt(); }
  ULONGLONG GetEntrySize() override { return NotBuilt<ULONGLONG>(); }
  ORVFILETIME GetEntryCreationTime() override { return NotBuilt<ORVFILETIME>(); }
  ORVFILETIME GetEntryLastAccessTime() override { return NotBuilt<ORVFILETIME>(); }
  ORVFILETIME GetEntryLastWriteTime() override { return NotBuilt<ORVFILETIME>(); }
  ULONGLONG GetSplitSize() override { return NotBuilt<ULONGLONG>(); }
  ULONGLONG SetSplitSize(ULONGLONG) override { return NotBuilt<ULONGLONG>(); }
};

}  // namespace orv
