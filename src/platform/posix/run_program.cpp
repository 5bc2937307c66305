// Runs a program from a Windows command line: the line is split as Windows splits it,
// a program named by a path goes through the path mapping, a bare name is looked up in
// PATH. A program ended by a signal reports 128 + the signal number, as shells do.
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/posix/command_line.h"
#include "platform/posix/path_map.h"
#include "platform/process.h"

extern char** environ;

namespace orv::os {

namespace {

constexpr DWORD kSignalExitBase = 128;

}  // namespace

DWORD RunProgram(WStringView commandLine, bool hideWindow, DWORD& exitCode) {
  exitCode = 0;
  const std::vector<WString> arguments = posix::SplitCommandLine(commandLine);
  if (arguments[0].empty()) return err::kFileNotFound;
  std::vector<std::string> texts;
  for (const WString& argument : arguments) {
    if (argument.find(Char(0)) != WString::npos) return err::kInvalidParameter;
    texts.push_back(ToUtf8(argument));
  }
  if (posix::IsPathName(arguments[0]))
    if (DWORD error = posix::ResolveExisting(arguments[0], texts[0])) return error;
  std::vector<char*> argv;
  for (std::string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);
  pid_t child;
  if (const int error = posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ))
    return posix::ErrnoToWindows(error);
  int status;
  while (waitpid(child, &status, 0) < 0)
    if (errno != EINTR) return posix::LastError();
  exitCode = WIFEXITED(status) ? static_cast<DWORD>(WEXITSTATUS(status))
                               : kSignalExitBase + static_cast<DWORD>(WTERMSIG(status));
  return err::kSuccess;
}

}  // namespace orv::os
