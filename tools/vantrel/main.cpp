// vantrel: the command-line program on the library.
#include <algorithm>
#include <string>

#include "commands.h"
#include "exit_status.h"
#include "platform/arguments.h"
#include "progress_bar.h"

int main(int argc, char** argv) {
  CLI::App app{"vantrel - backs up and restores Windows partitions as file-level images"};
  app.name("vantrel");
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("vantrel ") + VANTREL_VERSION);
  // Set before the subcommands are added: each takes the footer over.
  app.footer(vantrel_cli::kExitStatusHelp);
  bool quiet = false;  // acted on before parsing, below
  app.add_flag("-q,--quiet", quiet, "No progress bars");
  vantrel_cli::CommandContext context;
  vantrel_cli::AddBasicCommands(app, context);
  vantrel_cli::AddWimCommands(app, context);
  vantrel_cli::AddInpCommands(app, context);
  vantrel_cli::AddDiskCommands(app, context);
  vantrel_cli::AddImageCommands(app, context);
  vantrel_cli::AddLayoutCommands(app, context);
  vantrel_cli::AddMonitorCommand(app, context);
  vantrel_cli::AddRecoveryCommands(app, context);

  std::vector<std::string> arguments = orv::os::ProgramArgumentsUtf8(argc, argv);
  // Bars are chosen when they start, inside the command: the flag is looked at first.
  if (std::find(arguments.begin(), arguments.end(), "--quiet") != arguments.end() ||
      std::find(arguments.begin(), arguments.end(), "-q") != arguments.end())
    vantrel_cli::SetQuiet();
  std::reverse(arguments.begin(), arguments.end());  // CLI11 takes them last first
  vantrel_cli::InstallCancelHandler();
  try {
    app.parse(arguments);  // runs the chosen subcommand's callback
  } catch (const CLI::ParseError& error) {
    return vantrel_cli::ExitStatusForParse(app.exit(error));  // --help and --version too
  }
  return context.exitCode;
}
