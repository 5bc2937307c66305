// What the WIM engine tests on Linux share: a folder mapped to drive Q:, trees of files
// to capture and compare, and a message routine that records what the engine says.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "mapped_drive.h"
#include "platform/encoding.h"
#include "wim/wim.h"

namespace orv::os {

using Tree = std::map<std::string, std::string>;  // relative path -> content ("<dir>")

inline void WriteNative(const std::string& path, const std::string& content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

// Bytes that no compressor can shrink much.
inline std::string Noise(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    seed = seed * 1664525u + 1013904223u;
    c = char(seed >> 24);
  }
  return bytes;
}

inline void MakeTree(const std::string& root) {
  WriteNative(root + "/a.txt", "first file\n");
  WriteNative(root + "/dir/b.bin", Noise(200000, 7));
  WriteNative(root + "/dir/empty.txt", "");
  WriteNative(root + "/dir/sub/c.txt", std::string(5000, 'c'));
  WriteNative(root + "/\xC3\xBCn\xC3\xAF.txt", "unicode name");
  std::filesystem::create_directories(root + "/emptydir");
}

inline Tree ReadTree(const std::string& root) {
  Tree tree;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const std::string relative = std::filesystem::relative(entry.path(), root).string();
    if (entry.is_directory()) {
      tree[relative] = "<dir>";
    } else {
      std::ifstream in(entry.path(), std::ios::binary);
      tree[relative] = std::string(std::istreambuf_iterator<char>(in), {});
    }
  }
  return tree;
}

// Records the messages of the engine and answers as told.
struct MessageLog {
  std::vector<DWORD> percents;
  std::vector<WString> processed;
  std::map<WString, uint64_t> fileSizes;
  std::vector<std::pair<WString, DWORD>> errors;
  std::vector<WString> leaveOut;  // paths the process message answers "no" for
  DWORD progressAnswer = wim::kMsgSuccess;

  static DWORD ORV_CALLBACK Routine(DWORD message, ORVVALUE first, ORVVALUE second, void* data) {
    auto& log = *static_cast<MessageLog*>(data);
    const auto* path = reinterpret_cast<const Char*>(first);
    switch (message) {
      case wim::kMsgProgress:
        log.percents.push_back(DWORD(first));
        return log.progressAnswer;
      case wim::kMsgProcess:
        log.processed.emplace_back(path);
        for (const WString& out : log.leaveOut)
          if (out == path) *reinterpret_cast<BOOL*>(second) = FALSE;
        return wim::kMsgSuccess;
      case wim::kMsgFileInfo: {
        const auto* data = reinterpret_cast<const wim::WimFindData*>(second);
        log.fileSizes[path] = (uint64_t(data->sizeHigh) << 32) | data->sizeLow;
        return wim::kMsgSuccess;
      }
      case wim::kMsgError:
        log.errors.emplace_back(path, DWORD(second));
        return wim::kMsgSkipError;
      default:
        return wim::kMsgSuccess;
    }
  }
};

class WimEngineTest : public MappedDrive {
 protected:
  void SetUp() override {
    MappedDrive::SetUp();
    COrvWim probe;
    probe.WIMGetImageCount(nullptr);
    if (probe.GetLastErrorCode() == ORV_ERROR_ARG1)
      GTEST_SKIP() << "libwim.so.15 (Debian libwim15) is not installed";
  }

  // Captures `source` into a new WIM file through the binding.
  void Capture(COrvWim& wim, const WString& file, const WString& source, DWORD compression,
               MessageLog* log = nullptr) {
    DWORD created = 99;
    ASSERT_NE(wim.WIMCreateFile(file.c_str(), wim::kGenericWrite, wim::kCreateAlways, 0,
                                compression, &created),
              nullptr)
        << wim.GetLastErrorCode();
    EXPECT_EQ(created, wim::kCreatedNew);
    if (log != nullptr) {
      ASSERT_EQ(wim.WIMRegisterMessageCallback(nullptr, MessageLog::Routine, log), 0u);
    }
    HANDLE image = wim.WIMCaptureImage(nullptr, source.c_str(), 0);
    ASSERT_NE(image, nullptr) << wim.GetLastErrorCode();
    EXPECT_TRUE(wim.WIMCloseHandle(image));
    EXPECT_TRUE(wim.WIMCloseHandle(nullptr)) << wim.GetLastErrorCode();
  }

  // Applies image 1 of `file` to `target`.
  bool Apply(COrvWim& wim, const WString& file, const WString& target, DWORD flags = 0,
             MessageLog* log = nullptr, const std::vector<WString>& references = {}) {
    DWORD opened = 99;
    if (wim.WIMCreateFile(file.c_str(), wim::kGenericRead, wim::kOpenExisting, 0, 0, &opened) ==
        nullptr)
      return false;
    EXPECT_EQ(opened, wim::kOpenedExisting);
    for (const WString& reference : references)
      EXPECT_TRUE(wim.WIMSetReferenceFile(nullptr, reference.c_str(), wim::kReferenceAppend));
    if (log != nullptr) wim.WIMRegisterMessageCallback(nullptr, MessageLog::Routine, log);
    HANDLE image = wim.WIMLoadImage(nullptr, 1);
    if (image == nullptr) return false;
    const BOOL applied = wim.WIMApplyImage(image, target.c_str(), flags);
    const DWORD error = wim.GetLastErrorCode();
    wim.WIMCloseHandle(image);
    wim.WIMCloseHandle(nullptr);
    if (!applied) ADD_FAILURE() << "apply failed: " << error;
    return applied;
  }
};

}  // namespace orv::os
