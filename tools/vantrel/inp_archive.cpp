#include "inp_archive.h"

#include "archive/part_names.h"
#include "created_output.h"

namespace vantrel_cli {

std::vector<orv::WString> ExistingArchiveFiles(const orv::WString& mainFile) {
  std::vector<orv::WString> files;
  if (EntryExists(mainFile)) files.push_back(mainFile);
  // Parts are numbered without gaps from the index file (0).
  for (DWORD part = 0;; ++part) {
    orv::WString name = orv::archive::PartFileName(mainFile, part);
    if (!EntryExists(name)) break;
    files.push_back(std::move(name));
  }
  return files;
}

}  // namespace vantrel_cli
