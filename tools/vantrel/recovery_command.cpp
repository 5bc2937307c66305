// `vantrel recovery create`: a recovery point of the system drive, the files that the
// change database lists since the previous point, with a progress bar and Ctrl-C. On
// Linux `--drive C=/path` maps the system drive to a folder.
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "drive_option.h"
#include "error_text.h"
#include "exit_status.h"
#include "platform/encoding.h"
#include "platform/file.h"
#include "progress_bar.h"
#include "services/xml.h"
#include "vantrel/vantrel.h"

namespace vantrel_cli {

namespace {

namespace os = orv::os;

struct RecoveryOptions {
  std::string database, last, target, description, drive;
};

BOOL ORV_CALLBACK RecoveryCallback(ORVVALUE message, ORVVALUE first, ORVVALUE second,
                                   ORVVALUE fourth) {
  switch (message) {
    case ORV_MSG_FILE:
    case ORV_MSG_SCAN_AMOUNT:
      return TRUE;  // every change is stored, whatever room it takes
    default:
      return ProgressBar::Callback(message, first, second, fourth);
  }
}

// The number of files and bytes the point's BASE.XML records.
bool ReadStoredAmounts(const orv::WString& folder, DWORD& files, uint64_t& bytes) {
  orv::XmlRef<orv::IOrvXmlDocument> document(orv::GetOrvXmlInterface(0));
  orv::IOrvXmlElement* raw = nullptr;
  if (!document || document->Load(folder + ORV_T("/BASE.XML")) != 0 || document->GetRoot(raw) != 0)
    return false;
  orv::XmlRef<orv::IOrvXmlElement> root(raw);
  return orv::ReadAttribute(*root, ORV_T("File"), files) &&
         orv::ReadAttribute(*root, ORV_T("Size"), bytes);
}

int Create(CommandContext& context, const RecoveryOptions& options) {
  if (!options.drive.empty() && UseDriveOption(options.drive, "recovery create") == 0)
    return kExitUsage;
  IOrvRecoveryPoint* point = GetIOrvRecoveryPointInterface();
  if (point == nullptr) {
    std::fprintf(stderr, "vantrel: recovery create: the recovery-point object cannot be created\n");
    return kExitFailure;
  }
  const orv::WString database = os::FromUtf8(options.database);
  const orv::WString last = os::FromUtf8(options.last);
  const orv::WString target = os::FromUtf8(options.target);
  const orv::WString description = os::FromUtf8(options.description);
  // A change database that is not there is named as the cause, not the target.
  DWORD attributes = 0;
  if (const DWORD missing = os::GetAttributes(database, attributes)) {
    point->Release();
    std::fprintf(stderr, "vantrel: recovery create: the change database %s: %s\n",
                 options.database.c_str(), ErrorText(missing).c_str());
    return kExitFailure;
  }

  ProgressBar bar("recovery point");
  InstallCancelHandler();
  const BOOL made = point->Create(database.c_str(), last.c_str(), target.c_str(),
                                  description.c_str(), RecoveryCallback);
  bar.Finish();
  const DWORD error = point->GetLastErrorCode();
  point->Release();
  if (!made) {
    const int status = ExitStatusFor(error);
    // The two refusals whose cause the code alone does not say.
    const char* why = error == 87 ? " (the target may neither be nor hold the previous point "
                                    "or the change database)"
                      : error == 13 ? " (the change database cannot be read as one)"
                                    : "";
    std::fprintf(stderr, "vantrel: recovery create: into %s %s: %s%s\n", options.target.c_str(),
                 status == kExitCancelled ? "cancelled" : "failed", ErrorText(error).c_str(), why);
    return status == kExitSuccess ? kExitFailure : status;
  }
  DWORD files = 0;
  uint64_t bytes = 0;
  if (!ReadStoredAmounts(target, files, bytes)) {
    std::fprintf(stderr, "vantrel: recovery create: %s/BASE.XML cannot be read back\n",
                 options.target.c_str());
    return kExitFailure;
  }
  std::fprintf(context.out, "recovery point written to %s: %u files, %llu bytes\n",
               options.target.c_str(), unsigned(files), static_cast<unsigned long long>(bytes));
  return kExitSuccess;
}

}  // namespace

void AddRecoveryCommands(CLI::App& app, CommandContext& context) {
  CLI::App* recovery = app.add_subcommand("recovery", "Recovery points of the system drive");
  recovery->require_subcommand(1);
  auto options = std::make_shared<RecoveryOptions>();
  CLI::App* create = recovery->add_subcommand(
      "create",
      "Store the files changed since the previous recovery point, as the change "
      "database lists them, in a new folder");
  create->add_option("--db", options->database, "The change database")->required();
  create
      ->add_option("--last", options->last,
                   "Folder of the previous recovery point (changes after its BASE.XML are "
                   "taken; all of them when it has none)")
      ->required();
  create
      ->add_option("--target", options->target,
                   "Folder of the new point (made; removed on failure)")
      ->required();
  create->add_option("--description", options->description,
                     "Text kept in the point's DESC.TXT (at most 1560 characters)");
  create->add_option("--drive", options->drive,
                     "C=FOLDER maps the system drive to a folder (Linux)");
  create->callback([&context, options] { context.exitCode = Create(context, *options); });
}

}  // namespace vantrel_cli
