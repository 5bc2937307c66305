// Capture, restore and listing are not built yet: every operation fails with
// ORV_ERROR_NOT_SUPPORTED until the image family arrives.
#include "image/image.h"

namespace orv {

BOOL COrvImage::CreateWIM(LPCTSTR, LPCTSTR, DWORD, DWORD, BOOL, ORVDCALLBACK) { return NotBuilt(); }
BOOL COrvImage::CreateImageFile(LPCTSTR, LPCTSTR, DWORD, DWORD, DWORD, BOOL, ORVDCALLBACK) {
  return NotBuilt();
}
BOOL COrvImage::CreateDifferentialImage(LPDIFFIMAGEDATA) { return NotBuilt(); }
BOOL COrvImage::CreateImage(LPIMAGEDATA) { return NotBuilt(); }
BOOL COrvImage::RestoreImage(LPCTSTR, LPCTSTR, ORVDCALLBACK) { return NotBuilt(); }
BOOL COrvImage::RestoreDifferentialImage(LPCTSTR, LPCTSTR, int, LPCTSTR, ORVDCALLBACK) {
  return NotBuilt();
}
BOOL COrvImage::EnumerateContent(LPCTSTR, ORVDCALLBACK) { return NotBuilt(); }
BOOL COrvImage::ExtractWIM(LPCTSTR, LPCTSTR, ORVDCALLBACK) { return NotBuilt(); }
BOOL COrvImage::Extract(LPCTSTR, LPCTSTR, ORVDCALLBACK) { return NotBuilt(); }
BOOL COrvImage::GetPassword(LPCTSTR, LPTSTR, DWORD) { return NotBuilt(); }
BOOL COrvImage::ExtractSingleFile(LPCTSTR, LPCTSTR, LPCTSTR) { return NotBuilt(); }
BOOL COrvImage::GetEntryInfo(LPCTSTR, LPCTSTR, ORVFILEATTRIBUTEDATA*) { return NotBuilt(); }
BOOL COrvImage::ListContentDifferential(LPCTSTR, int, ORVDCALLBACK) { return NotBuilt(); }
BOOL COrvImage::ListContent(LPCTSTR, ORVDCALLBACK) { return NotBuilt(); }

}  // namespace orv
