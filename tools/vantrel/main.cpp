// vantrel: the command-line program on the library.
#include <algorithm>
#include <cstdio>

#include <CLI/CLI.hpp>

#include "platform/arguments.h"
#include "progress_bar.h"
#include "self_check.h"

int main(int argc, char** argv) {
  CLI::App app{"vantrel - backs up and restores Windows partitions as file-level images"};
  app.require_subcommand(1);
  CLI::App* version = app.add_subcommand("version", "Print the version of the program");
  CLI::App* selfCheck =
      app.add_subcommand("selfcheck", "Load the library and create one object of each family");

  std::vector<std::string> arguments = orv::os::ProgramArgumentsUtf8(argc, argv);
  std::reverse(arguments.begin(), arguments.end());  // CLI11 takes them last first
  try {
    app.parse(arguments);
  } catch (const CLI::ParseError& error) {
    return app.exit(error);
  }

  vantrel_cli::InstallCancelHandler();
  if (*version) {
    std::printf("vantrel %s\n", VANTREL_VERSION);
    return 0;
  }
  if (*selfCheck) return vantrel_cli::RunSelfCheck(stdout);
  return 0;
}
