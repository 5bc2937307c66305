// `vantrel monitor FOLDER... --db FILE`: watches folders that stand for Windows volumes
// and records every change in them into the change database that recovery points read,
// until Ctrl-C or SIGTERM. Each FOLDER is "L=/path" (drive L is that folder) or a folder
// inside one that the drive table maps.
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "commands.h"
#include "error_text.h"
#include "exit_status.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/volume.h"
#include "progress_bar.h"
#include "services/change_recorder.h"

namespace vantrel_cli {

namespace {

namespace os = orv::os;

struct MonitorOptions {
  std::vector<std::string> folders;
  std::string database;
  std::string readyFile;
};

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The tree a FOLDER argument names, or the reason it names none (printed).
bool TreeOf(const std::string& argument, orv::WatchedTree& tree) {
  std::string folder = argument;
  if (argument.size() > 2 && IsDriveLetter(argument[0]) && argument[1] == '=') {
    folder = argument.substr(2);
    const char letter = static_cast<char>(argument[0] & ~0x20);
    if (folder.front() != '/') {
      std::fprintf(stderr, "vantrel: monitor: %s: the folder of a drive is given from the root (/...)\n",
                   argument.c_str());
      return false;
    }
    if (const DWORD error = os::SetDriveFolder(static_cast<orv::Char>(letter), os::FromUtf8(folder))) {
      PrintError("monitor: drive " + std::string(1, letter) + " cannot stand for " + folder, error);
      return false;
    }
    tree.drivePath = orv::WString{static_cast<orv::Char>(letter), ':', '\\'};
  } else if (os::DrivePathOfFolder(os::FromUtf8(folder), tree.drivePath) != 0) {
    std::fprintf(stderr,
                 "vantrel: monitor: %s is mapped to no drive: give it as L=%s, or map a folder "
                 "holding it in VANTREL_DRIVES\n",
                 folder.c_str(), folder.c_str());
    return false;
  }
  tree.folder = os::FromUtf8(folder);
  DWORD attributes = 0;
  const DWORD error = os::GetAttributes(tree.folder, attributes);
  if (error != 0 || !(attributes & os::kAttrDirectory) || (attributes & os::kAttrReparsePoint)) {
    PrintError("monitor: " + folder + " is not a folder", error ? error : orv::err::kDirectory);
    return false;
  }
  return true;
}

// What the recorder reports, said on standard error; the ready file is made once every
// watch is set.
class Report final : public orv::ChangeRecorderReport {
 public:
  explicit Report(std::string readyFile) : readyFile_(std::move(readyFile)) {}

  void Ready(const char* mechanism) override {
    std::fprintf(stderr, "vantrel: monitor: watching (%s)\n", mechanism);
    if (readyFile_.empty()) return;
    os::File file;
    if (const DWORD error = file.Open(os::FromUtf8(readyFile_), os::kGenericWrite, 0, os::Disposition::kCreateNew))
      PrintError("monitor: the ready file cannot be created", error, readyFile_);
  }
  bool StopRequested() override { return CancelRequested(); }
  // Each entry is named once, however many of its changes follow.
  void Unrecorded(const orv::WString& path, DWORD error) override {
    if (!unrecorded_.insert(path).second) return;
    PrintError("monitor: changes are not recorded (the name cannot be a Windows name)", error,
               os::ToUtf8(path));
  }
  void Missed(const orv::WString& path, DWORD error) override {
    if (error != 0)
      PrintError("monitor: changes below a folder it cannot watch are not seen; recorded as new", error,
                 os::ToUtf8(path));
    else
      std::fprintf(stderr, "vantrel: monitor: the system dropped changes; recorded as new: %s\n",
                   os::ToUtf8(path).c_str());
  }
  void RootGone(const orv::WString& path) override {
    std::fprintf(stderr, "vantrel: monitor: the watched folder of %s was deleted or moved away\n",
                 os::ToUtf8(path).c_str());
  }
  size_t unrecorded() const { return unrecorded_.size(); }

 private:
  std::string readyFile_;
  std::set<orv::WString> unrecorded_;
};

int Monitor(const MonitorOptions& options) {
  std::vector<orv::WatchedTree> trees;
  for (const std::string& folder : options.folders) {
    orv::WatchedTree tree;
    if (!TreeOf(folder, tree)) return kExitUsage;
    trees.push_back(std::move(tree));
  }
  CancelOnTerminate();
  Report report(options.readyFile);
  const DWORD error = orv::RecordChanges(trees, os::FromUtf8(options.database), report);
  if (error == orv::err::kNotSupported) {
    std::fprintf(stderr, "vantrel: monitor: not available on this system (%s)\n", ErrorText(error).c_str());
    return kExitFailure;
  }
  if (error != 0) {
    PrintError("monitor: changes cannot be recorded", error, options.database);
    return kExitFailure;
  }
  std::fprintf(stderr, "vantrel: monitor: stopped; every change seen is in %s\n", options.database.c_str());
  if (report.unrecorded() != 0) {
    std::fprintf(stderr, "vantrel: monitor: the changes of %zu entries were not recorded (named above)\n", report.unrecorded());
    return kExitPartial;
  }
  return kExitSuccess;
}

}  // namespace

void AddMonitorCommand(CLI::App& app, CommandContext& context) {
  auto options = std::make_shared<MonitorOptions>();
  CLI::App* monitor = app.add_subcommand(
      "monitor",
      "Watch folders that stand for Windows volumes and record every change in them into the change "
      "database that recovery points read, until Ctrl-C or SIGTERM (Linux)");
  monitor->add_option("FOLDER", options->folders,
                      "L=/path (drive L is that folder), or a folder inside a drive mapped by VANTREL_DRIVES")
      ->required();
  monitor->add_option("--db", options->database, "The change database (created when missing)")->required();
  monitor->add_option("--ready-file", options->readyFile,
                      "A file to create once every folder is watched (it must not exist)");
  monitor->callback([&context, options] { context.exitCode = Monitor(*options); });
}

}  // namespace vantrel_cli
