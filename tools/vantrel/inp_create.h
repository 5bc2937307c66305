// `vantrel inp create`: a new archive from folders and files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vantrel_cli {

struct CreateRequest {
  std::string archive;
  int version = 5;
  uint64_t splitSize = 0;   // bytes; 0 leaves the library's (versions 5 and 6)
  int compression = -2;     // -2 leaves the library's (versions 1 and 2)
  bool force = false;       // replace an archive that exists, its part files included
  bool keepPartial = false; // leave what a failed or cancelled create wrote
  std::vector<std::string> sources;
};

// The exit status. An archive that is not finished (a write that failed, a full or
// read-only target, Ctrl-C) is removed unless asked to keep it; entries that could not
// be read or added are named and make the status "partial".
int CreateArchive(std::FILE* out, const CreateRequest& request);

}  // namespace vantrel_cli
