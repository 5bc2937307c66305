// Starts the built program with posix_spawn, its output redirected to the files given.
#include "tools/program_launch.h"

#include "posix/program_start.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

extern char** environ;

namespace vantrel_cli {

namespace {

// The tests name files in the library's form, where `\` separates names too.
std::string Native(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::string ProgramBesideThisOne() {
  char self[PATH_MAX] = {};
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  const std::string path(self, length > 0 ? static_cast<size_t>(length) : 0);
  return path.substr(0, path.find_last_of('/') + 1) + "vantrel";
}

void AddToErrors(const std::string& errors, const std::string& line) {
  if (std::FILE* file = std::fopen(errors.c_str(), "a")) {
    std::fprintf(file, "%s\n", line.c_str());
    std::fclose(file);
  }
}

}  // namespace

pid_t StartVantrel(const std::vector<std::string>& arguments, const std::string& outputFile,
                   const std::string& errorFile) {
  std::string program = ProgramBesideThisOne();
  std::vector<char*> argv{program.data()};
  std::vector<std::string> texts(arguments);
  for (std::string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);
  const std::string output = Native(outputFile), errors = Native(errorFile);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  pid_t child = 0;
  const int error = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error == 0) return child;
  AddToErrors(errors, program + ": " + std::strerror(error));
  return -1;
}

int WaitVantrel(pid_t child, const std::string& errorFile) {
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  AddToErrors(Native(errorFile), "vantrel: ended by signal " + std::to_string(WTERMSIG(status)));
  return -1;
}

int LaunchVantrel(const std::vector<std::string>& arguments, const std::string& outputFile,
                  const std::string& errorFile) {
  const pid_t child = StartVantrel(arguments, outputFile, errorFile);
  return child < 0 ? -1 : WaitVantrel(child, errorFile);
}

}  // namespace vantrel_cli
