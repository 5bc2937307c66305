// What both backends' raw volumes share: ownership of the handle.
#include "platform/raw_volume.h"

namespace orv::os {

RawVolume::~RawVolume() { Close(); }

RawVolume::RawVolume(RawVolume&& other) noexcept : handle_(other.handle_) {
  other.handle_ = nullptr;
}

RawVolume& RawVolume::operator=(RawVolume&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

}  // namespace orv::os
