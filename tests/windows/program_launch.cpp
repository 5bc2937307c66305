// Starts the built program with CreateProcess, its output redirected to the files given.
#include "tools/program_launch.h"

#include <windows.h>

#include <cstdio>

namespace vantrel_cli {

namespace {

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size() + 1, L'\0');
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
  wide.resize(length > 0 ? static_cast<size_t>(length - 1) : 0);
  return wide;
}

// One argument as the C runtime splits a command line: quoted, with the backslashes
// before a quote doubled.
std::wstring Quoted(const std::wstring& argument) {
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

HANDLE Inheritable(const std::wstring& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

int LaunchVantrel(const std::vector<std::string>& arguments, const std::string& outputFile,
                  const std::string& errorFile) {
  wchar_t self[MAX_PATH] = {};
  const std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
  const std::wstring program = path.substr(0, path.find_last_of(L'\\') + 1) + L"vantrel.exe";
  std::wstring commandLine = Quoted(program);
  for (const std::string& argument : arguments) commandLine += L" " + Quoted(Wide(argument));
  HANDLE input = Inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
  HANDLE output = Inheritable(Wide(outputFile), GENERIC_WRITE, CREATE_NEW);
  HANDLE errors = Inheritable(Wide(errorFile), GENERIC_WRITE, CREATE_NEW);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = errors;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &process);
  const DWORD startError = GetLastError();
  DWORD exitCode = 0;
  if (started) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  } else {
    char text[64];
    const int length = std::snprintf(text, sizeof text, "cannot start vantrel.exe: error %lu\n", startError);
    DWORD written = 0;
    WriteFile(errors, text, static_cast<DWORD>(length), &written, nullptr);
  }
  CloseHandle(input);
  CloseHandle(output);
  CloseHandle(errors);
  return started ? static_cast<int>(exitCode) : -1;
}

}  // namespace vantrel_cli
