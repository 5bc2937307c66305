// The image object's life: the newest object is the process's current image.
#include "image/image.h"

#include "image/current_image.h"

namespace orv {

COrvImage::COrvImage() { MakeCurrentImage(this); }

COrvImage::~COrvImage() {
  ReleaseShadowCopy();
  ForgetCurrentImage(this);
}

}  // namespace orv
