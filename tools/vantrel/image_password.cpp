#include "image_password.h"

#include <cstdio>
#include <iostream>

#include "exit_status.h"
#include "platform/encoding.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace vantrel_cli {

namespace {

bool InputIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stdin)) != 0;
#else
  return isatty(STDIN_FILENO) != 0;
#endif
}

// A line typed without echo.
std::string ReadSecret(const char* prompt) {
  std::fprintf(stderr, "%s", prompt);
  std::fflush(stderr);
#ifdef _WIN32
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  GetConsoleMode(input, &mode);
  SetConsoleMode(input, mode & ~DWORD{ENABLE_ECHO_INPUT});
#else
  termios saved{};
  tcgetattr(STDIN_FILENO, &saved);
  termios quiet = saved;
  quiet.c_lflag &= ~tcflag_t{ECHO};
  tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
#endif
  std::string line;
  std::getline(std::cin, line);
#ifdef _WIN32
  SetConsoleMode(input, mode);
#else
  tcsetattr(STDIN_FILENO, TCSANOW, &saved);
#endif
  std::fprintf(stderr, "\n");
  return line;
}

}  // namespace

int CheckImagePassword(IOrvImage& image, const orv::WString& folder, const std::string& given,
                       const std::string& command) {
  orv::Char stored[64] = {};
  if (!image.GetPassword(folder.c_str(), stored, 64) || stored[0] == 0) return 0;
  std::string typed = given;
  if (typed.empty()) {
    if (!InputIsTerminal()) {
      std::fprintf(stderr, "vantrel: %s: the image has a password; give it with --password\n",
                   command.c_str());
      return kExitUsage;
    }
    typed = ReadSecret("Password of the image: ");
  }
  if (orv::os::FromUtf8(typed) == orv::WString(stored)) return 0;
  std::fprintf(stderr, "vantrel: %s: the password is not the image's; nothing was written\n",
               command.c_str());
  return kExitFailure;
}

}  // namespace vantrel_cli
