// Fuzz target: the bytes become an archive of one version (main file, index and first
// part), which is opened, walked and extracted entry by entry into a scratch folder,
// with lookups and a streaming read on the way. Any crash, leak, endless loop or write
// outside the scratch folder is a finding.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "archive/format.h"
#include "archive/morlet.h"
#include "archive/part_names.h"
#include "fuzz_input.h"
#include "platform/dir_search.h"
#include "platform/file.h"
#include "platform/process.h"
#include "services/format.h"

namespace {

using orv::WString;
namespace os = orv::os;

void Write(const WString& path, const std::string& bytes) {
  os::File file;
  if (file.Open(path, os::kGenericWrite, 0, os::Disposition::kCreateAlways) != 0) return;
  DWORD done = 0;
  file.Write(bytes.data(), static_cast<DWORD>(bytes.size()), done);
}

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

const WString& Scratch() {
  static const WString folder = [] {
    WString base = os::GetTempFolder();
    while (!base.empty() && (base.back() == '\\' || base.back() == '/')) base.pop_back();
    return base + orv::Format(ORV_T("\\vantrel-fuzz-%u"), os::CurrentProcessId());
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orv::fuzz::ArchiveFiles files = orv::fuzz::Unpack(data, size);
  // Most inputs should get past the magic and version, so they are put in place.
  if (files.main.size() >= 12) {
    files.main.replace(0, 8, "MRLLIGHT");
    files.main[8] = static_cast<char>(files.version);
    files.main[9] = files.main[10] = files.main[11] = 0;
  }
  const WString& scratch = Scratch();
  RemoveTree(scratch);
  os::CreateDirectory(scratch);
  const WString archivePath = scratch + ORV_T("\\a.inp");
  Write(archivePath, files.main);
  Write(orv::archive::IndexFileName(archivePath), files.index);
  Write(orv::archive::PartFileName(archivePath, 1), files.part);

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
