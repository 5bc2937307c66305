// Fuzz target: the bytes become an archive of one version (main file, index and first
// part), which is opened, walked and extracted entry by entry into a scratch folder,
// with lookups and a streaming read on the way. Any crash, leak, endless loop or write
// outside the scratch folder is a finding. Every run writes a tree to disk;
// archive_walk_fuzz.cpp covers the reading alone, without extraction.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "archive/morlet.h"
#include "fuzz_archive.h"
#include "platform/dir_search.h"

namespace {

using orv::WString;
namespace os = orv::os;

void RemoveTree(const WString& folder) {
  std::vector<WString> folders;
  {
    os::DirSearch search;
    os::FindData data;
    for (DWORD error = search.First(folder + ORV_T("\\*.*"), data); error == 0; error = search.Next(data)) {
      if (data.name == ORV_T(".") || data.name == ORV_T("..")) continue;
      const WString path = folder + ORV_T("\\") + data.name;
      os::SetAttributes(path, data.attributes & os::kAttrDirectory);
      if ((data.attributes & os::kAttrDirectory) && !(data.attributes & os::kAttrReparsePoint))
        folders.push_back(path);
      else if (data.attributes & os::kAttrDirectory)
        os::RemoveDirectory(path);
      else
        os::DeleteFile(path);
    }
  }
  for (const WString& sub : folders) RemoveTree(sub);
  os::RemoveDirectory(folder);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const WString& scratch = orv::fuzz::Scratch();
  RemoveTree(scratch);
  os::CreateDirectory(scratch);
  const WString archivePath = orv::fuzz::PlaceArchive(data, size);

  const WString out = scratch + ORV_T("\\out");
  orv::COrvMorlet archive;
  if (archive.Open(archivePath.c_str(), 1, 0)) {
    std::vector<WString> names;
    while (archive.NextEntry(0)) {
      orv::Char name[300];
      archive.GetEntryName(name, 300);
      names.emplace_back(name);
      archive.ExtractCurrent(out.c_str(), 1);
      if (!archive.NextEntry(1)) break;
    }
    for (const WString& name : names) {
      archive.FindEntry(name.c_str());
      std::vector<uint8_t> block;
      if (archive.StartStreamRead(name.c_str(), block))
        while (archive.NextStreamBlock(block)) {
        }
      archive.ExtractFile(name.c_str(), out.c_str());
    }
    archive.Close();
  }
  return 0;
}
