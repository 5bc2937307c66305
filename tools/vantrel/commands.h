// Each group of the program's subcommands registers itself on the application; the
// subcommand's callback leaves the program's exit code in the context.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdio>

namespace vantrel_cli {

struct CommandContext {
  int exitCode = 0;
  // Where the inp, disk and layout commands print their results (a test reads them
  // back); errors and progress go to stderr.
  FILE* out = stdout;
};

// `version`, `selfcheck`.
void AddBasicCommands(CLI::App& app, CommandContext& context);
// `wim capture|apply|split|info|password`.
void AddWimCommands(CLI::App& app, CommandContext& context);

// `inp create|add|list|extract|info`.
void AddInpCommands(CLI::App& app, CommandContext& context);

// `disks`.
void AddDiskCommands(CLI::App& app, CommandContext& context);
// `layout write|compare`.
void AddLayoutCommands(CLI::App& app, CommandContext& context);
// `image create`.
void AddImageCommands(CLI::App& app, CommandContext& context);
// `image verify`, added to the `image` group by AddImageCommands.
void AddImageVerifyCommand(CLI::App& image, CommandContext& context);

}  // namespace vantrel_cli
