// The process's current image: the image object that the plain functions called back by
// the WIM engine and the sector copy work on. It is the most recently constructed image
// object, made current again by each operation that uses it, and forgotten when that
// object ends, so that it never points at a released object.
#pragma once

namespace orv {

class COrvImage;

// The current image; null when none is alive.
COrvImage* CurrentImage();
void MakeCurrentImage(COrvImage* image);
// Forgets `image` when it is the current one.
void ForgetCurrentImage(COrvImage* image);

}  // namespace orv
