// The exported operations of COrvMorlet: each runs its body guarded, so that a failed
// allocation or any other exception becomes an error code instead of leaving the library.
#include "archive/morlet.h"

namespace orv {

BOOL COrvMorlet::ExtractCurrent(LPCTSTR pstrTargetDir, int nFlags) {
  return Guarded([&] { return ExtractCurrentEntry(pstrTargetDir, nFlags); });
}

BOOL COrvMorlet::ExtractFile(LPCTSTR lpFileIn, LPCTSTR lpTargetDir) {
  return Guarded([&] { return ExtractNamedEntry(lpFileIn, lpTargetDir); });
}

BOOL COrvMorlet::AddFile(LPCTSTR pstrSourceFile, LPCTSTR pstrEntryName,
                         const void* pSecurityDescriptor, DWORD dwSecurityLength,
                         const ORVFILEATTRIBUTEDATA* pAttributes) {
  return Guarded([&] {
    return AddEntry(pstrSourceFile, pstrEntryName, pSecurityDescriptor, dwSecurityLength,
                    pAttributes);
  });
}

BOOL COrvMorlet::FindEntry(LPCTSTR pstrEntryName) {
  return Guarded([&] { return FindNamedEntry(pstrEntryName); });
}

BOOL COrvMorlet::NextEntry(int nAdvance) {
  return Guarded([&] { return StepEntry(nAdvance); });
}

BOOL COrvMorlet::Close() {
  return Guarded([&] { return CloseArchive(); });
}

BOOL COrvMorlet::Open(LPCTSTR pstrFile, int nReadMode, int nVersion) {
  return Guarded([&] { return OpenArchive(pstrFile, nReadMode, nVersion); });
}
}  // namespace orv
