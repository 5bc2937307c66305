// The running process: current directory, environment, temporary folder, child programs.
#include "platform/process.h"

#include "platform/win32/native.h"

namespace orv::os {

using win32::FetchText;
using win32::LastError;

DWORD GetCurrentDirectory(WString& path) {
  const DWORD error = FetchText(
      path, [](Char* buffer, DWORD size) { return ::GetCurrentDirectoryW(size, buffer); });
  if (error == err::kSuccess && path.empty()) return err::kInternalError;
  return error;
}

DWORD SetCurrentDirectory(WStringView path) {
  return ::SetCurrentDirectoryW(win32::NativePath(path).c_str()) ? err::kSuccess : LastError();
}

std::optional<WString> GetEnvironment(WStringView name) {
  const WString nativeName(name);
  WString value;
  // A variable set to nothing reads as 0 characters without an error.
  if (FetchText(value, [&](Char* buffer, DWORD size) {
        return ::GetEnvironmentVariableW(nativeName.c_str(), buffer, size);
      }) != err::kSuccess)
    return std::nullopt;
  return value;
}

DWORD SetEnvironment(WStringView name, WStringView value) {
  return ::SetEnvironmentVariableW(WString(name).c_str(), WString(value).c_str()) ? err::kSuccess
                                                                                  : LastError();
}

WString GetTempFolder() {
  WString folder;
  FetchText(folder, [](Char* buffer, DWORD size) { return ::GetTempPathW(size, buffer); });
  return folder;
}

DWORD RunProgram(WStringView commandLine, bool hideWindow, DWORD& exitCode) {
  // CreateProcessW may write into the command line, so it gets its own copy.
  WString line(commandLine);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (hideWindow) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
    return LastError();
  ::CloseHandle(process.hThread);
  DWORD error = err::kSuccess;
  if (::WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0 ||
      !::GetExitCodeProcess(process.hProcess, &exitCode))
    error = LastError();
  ::CloseHandle(process.hProcess);
  return error;
}

DWORD CurrentProcessId() { return ::GetCurrentProcessId(); }

bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace orv::os
