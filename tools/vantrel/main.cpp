// vantrel: the command-line program on the library.
#include <algorithm>

#include "commands.h"
#include "platform/arguments.h"
#include "progress_bar.h"

int main(int argc, char** argv) {
  CLI::App app{"vantrel - backs up and restores Windows partitions as file-level images"};
  app.require_subcommand(1);
  vantrel_cli::CommandContext context;
  vantrel_cli::AddBasicCommands(app, context);
  vantrel_cli::AddWimCommands(app, context);
  vantrel_cli::AddInpCommands(app, context);
  vantrel_cli::AddDiskCommands(app, context);
  vantrel_cli::AddImageCommands(app, context);
  vantrel_cli::AddLayoutCommands(app, context);

  std::vector<std::string> arguments = orv::os::ProgramArgumentsUtf8(argc, argv);
  std::reverse(arguments.begin(), arguments.end());  // CLI11 takes them last first
  vantrel_cli::InstallCancelHandler();
  try {
    app.parse(arguments);  // runs the chosen subcommand's callback
  } catch (const CLI::ParseError& error) {
    return app.exit(error);
  }
  return context.exitCode;
}
