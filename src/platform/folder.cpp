// What both backends' open folders share: their life as a value that owns its state.
#include "platform/folder.h"

#include <utility>

namespace orv::os {

Folder::~Folder() { Close(); }

Folder::Folder(Folder&& other) noexcept
    : state_(std::exchange(other.state_, nullptr)), path_(std::move(other.path_)) {}

Folder& Folder::operator=(Folder&& other) noexcept {
  if (this != &other) {
    Close();
    state_ = std::exchange(other.state_, nullptr);
    path_ = std::move(other.path_);
  }
  return *this;
}

}  // namespace orv::os
