// Program arguments from the wide command line: argv holds them in the ANSI code page,
// which loses every character outside it.
#include "platform/arguments.h"

#include "platform/encoding.h"
#include "platform/win32/native.h"

namespace orv::os {

namespace {

std::string AnsiToUtf8(const char* text) {
  const int length = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 1) return {};
  WString wide(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
  wide.pop_back();  // the terminator
  return ToUtf8(wide);
}

}  // namespace

std::vector<std::string> ProgramArgumentsUtf8(int argc, char** argv) {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) {
    // Only memory runs out here; the narrow arguments are the next best source.
    for (int i = 1; i < argc; ++i) arguments.push_back(AnsiToUtf8(argv[i]));
    return arguments;
  }
  for (int i = 1; i < count; ++i) arguments.push_back(ToUtf8(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

}  // namespace orv::os
