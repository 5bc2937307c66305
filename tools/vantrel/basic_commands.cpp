#include <cstdio>

#include "commands.h"
#include "self_check.h"

namespace vantrel_cli {

void AddBasicCommands(CLI::App& app, CommandContext& context) {
  app.add_subcommand("version", "Print the version of the program")->callback([] {
    std::printf("vantrel %s\n", VANTREL_VERSION);
  });
  app.add_subcommand("selfcheck", "Load the library and create one object of each family")
      ->callback([&context] { context.exitCode = RunSelfCheck(stdout); });
}

}  // namespace vantrel_cli
