// The running process and its surroundings: current directory, environment, programs,
// shared modules and the registry values the library keeps.
#pragma once

#include <optional>

#include "platform/text.h"

namespace orv::os {

DWORD GetCurrentDirectory(WString& path);
DWORD SetCurrentDirectory(WStringView path);

std::optional<WString> GetEnvironment(WStringView name);
DWORD SetEnvironment(WStringView name, WStringView value);

// A folder for temporary files, with a trailing separator.
WString GetTempFolder();

// Starts a program from a Windows-form command line (quoted arguments as Windows
// splits them), waits for it to end and gives its exit code.
DWORD RunProgram(WStringView commandLine, bool hideWindow, DWORD& exitCode);

DWORD CurrentProcessId();
// Whether the process's standard error is a terminal (a console on Windows).
bool StandardErrorIsTerminal();

// The folder of the module that holds the library's code (Vantrel.dll, libvantrel.so,
// or the program it is linked into), without a trailing separator: where the library
// takes its own helper modules from, never from the current directory, where anyone
// could place one to run with the caller's backup rights.
DWORD GetLibraryFolder(WString& folder);
// The file name the system gives a shared library of that base name ("lamina.dll" on
// Windows, "liblamina.so" on Linux).
WString SharedLibraryFileName(WStringView base);

// A shared module and the functions it exports.
class Module {
 public:
  Module() = default;
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  DWORD Load(WStringView name);  // 126 when missing
  void Unload();
  bool IsLoaded() const { return handle_ != nullptr; }
  void* Find(const char* function) const;  // null when missing

 private:
  void* handle_ = nullptr;
};

// 32-bit registry values under HKEY_LOCAL_MACHINE ("SOFTWARE\Halvern", "JournalReset").
// On Linux they live in a small text file, VANTREL_REGISTRY or a default path.
DWORD ReadRegistryDword(WStringView key, WStringView value, DWORD& data);
DWORD WriteRegistryDword(WStringView key, WStringView value, DWORD data);
// Removes a value; 2 when the key or the value is not there.
DWORD DeleteRegistryValue(WStringView key, WStringView value);
bool RegistryKeyExists(WStringView key);

}  // namespace orv::os
