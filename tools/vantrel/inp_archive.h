// What the `inp` commands share about one archive: the library's archive object for the
// length of a command, and the files an archive is made of on disk.
#pragma once

#include <vector>

#include "platform/text.h"
#include "vantrel/vantrel.h"

namespace vantrel_cli {

class Archive {
 public:
  Archive() : morlet_(GetMorletInterface()) {}
  ~Archive() {
    if (morlet_) morlet_->Release();
  }
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;
  IOrvMorlet* operator->() const { return morlet_; }
  explicit operator bool() const { return morlet_ != nullptr; }

 private:
  IOrvMorlet* morlet_;
};

// The files of the archive whose main file is `mainFile` that exist: the main file,
// then the index file and part files that versions 5 and 6 keep beside it, in order.
std::vector<orv::WString> ExistingArchiveFiles(const orv::WString& mainFile);

}  // namespace vantrel_cli
