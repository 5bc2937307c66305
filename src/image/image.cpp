// The image object's life, and the operations whose families are not built yet: they
// fail with ORV_ERROR_NOT_SUPPORTED.
#include "image/image.h"

#include "image/current_image.h"

namespace orv {

COrvImage::COrvImage() { MakeCurrentImage(this); }

COrvImage::~COrvImage() {
  ReleaseShadowCopy();
  ForgetCurrentImage(this);
}

BOOL COrvImage::CreateDifferentialImage(LPDIFFIMAGEDATA) { return NotBuilt(); }
BOOL COrvImage::RestoreImage(LPCTSTR, LPCTSTR, ORVDCALLBACK) { return NotBuilt(); }
BOOL COrvImage::RestoreDifferentialImage(LPCTSTR, LPCTSTR, int, LPCTSTR, ORVDCALLBACK) {
  return NotBuilt();
}
BOOL COrvImage::EnumerateContent(LPCTSTR, ORVDCALLBACK) { return NotBuilt(); }
BOOL COrvImage::ExtractWIM(LPCTSTR, LPCTSTR, ORVDCALLBACK) { return NotBuilt(); }
BOOL COrvImage::Extract(LPCTSTR, LPCTSTR, ORVDCALLBACK) { return NotBuilt(); }
BOOL COrvImage::ExtractSingleFile(LPCTSTR, LPCTSTR, LPCTSTR) { return NotBuilt(); }
BOOL COrvImage::GetEntryInfo(LPCTSTR, LPCTSTR, ORVFILEATTRIBUTEDATA*) { return NotBuilt(); }
BOOL COrvImage::ListContentDifferential(LPCTSTR, int, ORVDCALLBACK) { return NotBuilt(); }
BOOL COrvImage::ListContent(LPCTSTR, ORVDCALLBACK) { return NotBuilt(); }

}  // namespace orv
