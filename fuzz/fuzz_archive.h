// What both archive fuzz targets do with an input: the archive files it holds are put in
// place in a scratch folder of the process, magic and version patched in so that most
// inputs get past them.
#pragma once

#include <string>

#include "archive/part_names.h"
#include "fuzz_input.h"
#include "platform/file.h"
#include "platform/process.h"
#include "services/format.h"

namespace orv::fuzz {

inline void WriteWhole(const WString& path, const std::string& bytes) {
  os::File file;
  if (file.Open(path, os::kGenericWrite, 0, os::Disposition::kCreateAlways) != 0) return;
  DWORD done = 0;
  file.Write(bytes.data(), static_cast<DWORD>(bytes.size()), done);
}

inline const WString& Scratch() {
  static const WString folder = [] {
    WString base = os::GetTempFolder();
    while (!base.empty() && (base.back() == '\\' || base.back() == '/')) base.pop_back();
    return base + Format(ORV_T("\\vantrel-fuzz-%u"), os::CurrentProcessId());
  }();
  return folder;
}

// Writes the archive of the input into the scratch folder (which must exist) and
// returns the path of its main file.
inline WString PlaceArchive(const uint8_t* data, size_t size) {
  ArchiveFiles files = Unpack(data, size);
  if (files.main.size() >= 12) {
    files.main.replace(0, 8, "MRLLIGHT");
    files.main[8] = static_cast<char>(files.version);
    files.main[9] = files.main[10] = files.main[11] = 0;
  }
  const WString path = Scratch() + ORV_T("\\a.inp");
  WriteWhole(path, files.main);
  WriteWhole(archive::IndexFileName(path), files.index);
  WriteWhole(archive::PartFileName(path, 1), files.part);
  return path;
}

}  // namespace orv::fuzz
