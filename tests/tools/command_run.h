// Runs `vantrel` commands as a user runs them (RunVantrel: the built program, its exit
// status, what it prints on standard output and standard error), or inside the test
// program (RunCommand: parsed as the program parses its command line, standard output
// captured), and reads back what they print.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "commands.h"
#include "exit_status.h"
#include "platform/encoding.h"
#include "platform/native_name.h"
#include "program_launch.h"
#include "support/temp_folder.h"

namespace vantrel_cli {

struct CommandRun {
  int exitCode = 0;
  std::string output;
  std::string errors;  // standard error (RunVantrel only)
};

// Text as the program printed it, with Windows line ends read as "\n".
inline std::string WithPlainLineEnds(std::string text) {
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
  return text;
}

// The built program with `arguments`; its output goes through new files in `folder`.
inline CommandRun RunVantrel(const orv::test::TempFolder& folder, const std::vector<std::string>& arguments) {
  static int runs = 0;
  const std::string number = std::to_string(++runs);
  const orv::WString output = folder / orv::os::FromUtf8("stdout-" + number + ".txt");
  const orv::WString errors = folder / orv::os::FromUtf8("stderr-" + number + ".txt");
  CommandRun run;
  run.exitCode = LaunchVantrel(arguments, orv::os::ToUtf8(output), orv::os::ToUtf8(errors));
  run.output = WithPlainLineEnds(orv::test::ReadFile(output));
  run.errors = WithPlainLineEnds(orv::test::ReadFile(errors));
  return run;
}

using CommandGroup = void (*)(CLI::App&, CommandContext&);

// The printed output goes through a file in `folder`.
inline CommandRun RunCommand(const orv::test::TempFolder& folder,
                             std::initializer_list<CommandGroup> groups,
                             std::vector<std::string> arguments) {
  CLI::App app;
  app.require_subcommand(1);
  CommandContext context;
  // The system's name of the file: on Linux the library's path form is not one.
  std::string outputFile;
  EXPECT_EQ(orv::os::NativeNameOf(folder / ORV_T("output.txt"), outputFile), 0u);
  context.out = std::fopen(outputFile.c_str(), "w+b");
  EXPECT_NE(context.out, nullptr);
  if (context.out == nullptr) return {};
  for (CommandGroup group : groups) group(app, context);
  // CLI11 takes the arguments last first.
  std::reverse(arguments.begin(), arguments.end());
  CommandRun run;
  try {
    app.parse(arguments);
    run.exitCode = context.exitCode;
  } catch (const CLI::ParseError& error) {
    run.exitCode = ExitStatusForParse(error.get_exit_code());
  }
  std::fflush(context.out);
  std::rewind(context.out);
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, context.out)) > 0;)
    run.output.append(buffer, got);
  std::fclose(context.out);
  return run;
}

// Tab-separated output as rows of fields.
inline std::vector<std::vector<std::string>> TsvRows(const std::string& output) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
    rows.push_back(std::move(fields));
  }
  return rows;
}

}  // namespace vantrel_cli
