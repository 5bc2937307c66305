// The current directory, the environment and the temporary folder. The current
// directory reads back in drive form ("C:\dir") when it lies in a drive's folder.
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/posix/path_map.h"
#include "platform/posix/volume_table.h"
#include "platform/process.h"

namespace orv::os {

DWORD GetCurrentDirectory(WString& path) {
  std::string cwd;
  if (DWORD error = posix::NativeCurrentDirectory(cwd)) return error;
  const auto drivePath = posix::DrivePathOf(cwd);
  path = drivePath ? *drivePath : FromUtf8(cwd);
  return err::kSuccess;
}

DWORD SetCurrentDirectory(WStringView path) {
  std::string native;
  if (DWORD error = posix::ResolveExisting(path, native)) return error;
  struct stat st;
  if (stat(native.c_str(), &st) != 0) return posix::LastError();
  if (!S_ISDIR(st.st_mode)) return err::kDirectory;
  return chdir(native.c_str()) == 0 ? err::kSuccess : posix::LastError();
}

std::optional<WString> GetEnvironment(WStringView name) {
  const std::string key = ToUtf8(name);
  if (key.find('\0') != std::string::npos) return std::nullopt;
  const char* value = std::getenv(key.c_str());
  if (value == nullptr) return std::nullopt;
  return FromUtf8(value);
}

DWORD SetEnvironment(WStringView name, WStringView value) {
  const std::string key = ToUtf8(name);
  const std::string text = ToUtf8(value);
  if (key.empty() || key.find_first_of(std::string_view("=\0", 2)) != std::string::npos ||
      text.find('\0') != std::string::npos)
    return err::kInvalidParameter;
  return setenv(key.c_str(), text.c_str(), 1) == 0 ? err::kSuccess : posix::LastError();
}

WString GetTempFolder() {
  const char* folder = std::getenv("TMPDIR");
  std::string path = folder != nullptr && folder[0] == '/' ? folder : "/tmp";
  if (path.back() != '/') path += '/';
  return FromUtf8(path);
}

namespace {

// getpid is a system call each time, and the log asks for it on every line: the number
// is kept, and forgotten in a child made by fork.
std::atomic<DWORD> g_processId{0};

}  // namespace

DWORD CurrentProcessId() {
  static const int forgetInChild = pthread_atfork(nullptr, nullptr, [] { g_processId = 0; });
  static_cast<void>(forgetInChild);
  DWORD id = g_processId.load(std::memory_order_relaxed);
  if (id == 0) {
    id = static_cast<DWORD>(getpid());
    g_processId.store(id, std::memory_order_relaxed);
  }
  return id;
}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace orv::os
