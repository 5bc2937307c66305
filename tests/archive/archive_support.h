// Helpers of the archive tests: content that compresses or does not, files with chosen
// metadata, and the raw bytes of archive files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "archive/format.h"
#include "archive/morlet.h"
#include "platform/dir_search.h"
#include "platform/file.h"
#include "support/temp_folder.h"
#include "wim/wim.h"

namespace orv::test {

inline std::string NoiseBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

inline std::string TextBytes(size_t size) {
  std::string bytes;
  while (bytes.size() < size) bytes += "the quick brown fox jumps over the lazy dog ";
  bytes.resize(size);
  return bytes;
}

inline std::vector<uint8_t> RawFile(WStringView path) {
  const std::string content = ReadFile(path);
  return std::vector<uint8_t>(content.begin(), content.end());
}

inline void WriteRaw(WStringView path, const std::vector<uint8_t>& bytes) {
  WriteFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

inline uint64_t FileSize(WStringView path) {
  os::FileInfo info;
  return os::GetInfo(path, info) == 0 ? info.size : ~uint64_t{0};
}

inline bool Exists(WStringView path) {
  DWORD attributes;
  return os::GetAttributes(path, attributes) == 0;
}

// The names in `folder`, without "." and "..", in the order the search gives them.
inline std::vector<WString> FolderNames(const WString& folder) {
  std::vector<WString> names;
  os::DirSearch search;
  os::FindData data;
  for (DWORD error = search.First(folder + ORV_T("\\*.*"), data); error == 0;
       error = search.Next(data))
    if (data.name != ORV_T(".") && data.name != ORV_T("..")) names.push_back(data.name);
  return names;
}

// Whether the WIM engine is there (the system's imaging library on Windows, which Wine
// lacks; wimlib on Linux).
inline bool WimEngineLoaded() {
  COrvWim probe;
  probe.WIMGetImageCount(nullptr);
  return probe.GetLastErrorCode() != ORV_ERROR_ARG1;
}

// Every file below `folder` (relative path → content), folders as "<dir>".
inline std::map<WString, std::string> TreeOf(const WString& folder, const WString& prefix = WString()) {
  std::map<WString, std::string> tree;
  os::DirSearch search;
  os::FindData data;
  for (DWORD error = search.First(folder + ORV_T("\\*.*"), data); error == 0;
       error = search.Next(data)) {
    if (data.name == ORV_T(".") || data.name == ORV_T("..")) continue;
    const WString relative = prefix + data.name;
    if (data.attributes & os::kAttrDirectory) {
      tree[relative] = "<dir>";
      for (auto& [name, content] : TreeOf(folder + ORV_T("\\") + data.name, relative + ORV_T("\\")))
        tree[name] = content;
    } else {
      tree[relative] = ReadFile(folder + ORV_T("\\") + data.name);
    }
  }
  return tree;
}

// An attribute block with recognisable times.
inline ORVFILEATTRIBUTEDATA BlockWithTimes(DWORD attributes, uint64_t size, uint64_t base) {
  ORVFILEATTRIBUTEDATA block{};
  block.dwFileAttributes = attributes;
  block.ftCreationTime = archive::ToFileTime(base);
  block.ftLastAccessTime = archive::ToFileTime(base + 10000000);
  block.ftLastWriteTime = archive::ToFileTime(base + 20000000);
  block.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  block.nFileSizeLow = static_cast<DWORD>(size);
  return block;
}

// Whether files in `folder` keep a creation time of their own (Wine on a Unix file
// system reports the last-write time instead).
inline bool KeepsCreationTime(const WString& folder) {
  const WString probe = folder + ORV_T("\\creation-probe");
  WriteFile(probe, "");
  os::SetTimes(probe, os::FileTimes{130000000000000000ull, 0, 131000000000000000ull});
  os::FileInfo info;
  const bool kept = os::GetInfo(probe, info) == 0 && info.times.creation == 130000000000000000ull;
  os::DeleteFile(probe);
  return kept;
}

// 2020-01-02 03:04:05 UTC as a file time.
inline constexpr uint64_t kSomeTime = 132224930450000000ull;

// Every entry name of an archive, walked with NextEntry.
inline std::vector<WString> EntryNames(COrvMorlet& archive) {
  std::vector<WString> names;
  Char buffer[300];
  while (archive.NextEntry(1)) {
    archive.GetEntryName(buffer, 300);
    names.emplace_back(buffer);
  }
  return names;
}

}  // namespace orv::test
