// The process-wide log: one file, six levels, entry and exit lines that nest.
//
// Levels are bits of the mask: 1 errors, 2 warnings, 4 information, 8 entry and exit of
// operations, 16 variables, 32 object dumps. Lines are UTF-8:
//   2026-12-07 10:39:16.123 [4242] I     text
// indented two spaces per open operation of the writing thread. The file is the one
// named by the environment variable VANTREL_LOG, else "Vantrel.log" in the temporary
// folder. Lines written before Init are dropped.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/file.h"
#include "services/format.h"

namespace orv {

class COrvLog {
 public:
  static constexpr DWORD kLevelError = 1;
  static constexpr DWORD kLevelWarning = 2;
  static constexpr DWORD kLevelInfo = 4;
  static constexpr DWORD kLevelFunction = 8;
  static constexpr DWORD kLevelVariable = 16;
  static constexpr DWORD kLevelDump = 32;
  static constexpr DWORD kAllLevels = 63;

  static COrvLog& GetInstance();

  // Opens the log file (appending). The argument selects the default file; 1 is the
  // only value the library passes.
  void Init(int mode);
  bool IsInitialized() const { return initialized_; }
  bool IsLevelConfigured() const { return levelConfigured_; }
  DWORD LevelMask() const { return levelMask_; }
  void SetLevelMask(DWORD mask);

  // Writes to another file from now on (tools and tests); empty closes the file.
  DWORD Redirect(WStringView path);

  template <class... Args>
  void EnterFunction(WStringView format, const Args&... args) {
    Write(kLevelFunction, '>', Format(format, args...));
    ++depth_;
  }
  int ExitFunction(int result);
  void ExitFunction();

  template <class... Args>
  void AddInfo(WStringView format, const Args&... args) {
    Write(kLevelInfo, 'I', Format(format, args...));
  }
  template <class... Args>
  void AddError(WStringView format, const Args&... args) {
    Write(kLevelError, 'E', Format(format, args...));
  }
  template <class... Args>
  void AddWarning(WStringView format, const Args&... args) {
    Write(kLevelWarning, 'W', Format(format, args...));
  }
  void AddVariable(WStringView name, int32_t value, int, int);
  void AddVariable(WStringView name, uint32_t value, int, int);

 private:
  COrvLog() = default;
  void Write(DWORD level, char tag, WStringView text);

  bool initialized_ = false;
  bool levelConfigured_ = false;
  DWORD levelMask_ = 0;
  std::mutex mutex_;
  os::File file_;
  static thread_local int depth_;
};

}  // namespace orv
