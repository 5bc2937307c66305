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

BOOL COrvImage::CreateWIM(LPCTSTR, LPCTSTR, DWORD, DWORD, BOOL, ORVDCALLBACK) { return NotBuilt(); }
BOOL COrvImage::CreateImageFile(LPCTSTR, LPCTSTR, DWORD, DWORD, DWORD, BOOL, ORVDCALLBACK) {
  return NotBuilt();
}

}  // namespace orv
