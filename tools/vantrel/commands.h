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
// `monitor`.
void AddMonitorCommand(CLI::App& app, CommandContext& context);
// `image create`, and the groups below.
void AddImageCommands(CLI::App& app, CommandContext& context);
// `image restore|list|list-diff|extract|info|enumerate`.
void AddImageRestoreCommands(CLI::App& image, CommandContext& context);
// `image wim`.
void AddImageWimCommand(CLI::App& image, CommandContext& context);
// `image diff`.
void AddImageDiffCommand(CLI::App& image, CommandContext& context);
// `image merge`.
void AddImageMergeCommand(CLI::App& image, CommandContext& context);
// `recovery create`.
void AddRecoveryCommands(CLI::App& app, CommandContext& context);
// `image verify`.
void AddImageVerifyCommand(CLI::App& image, CommandContext& context);

}  // namespace vantrel_cli
