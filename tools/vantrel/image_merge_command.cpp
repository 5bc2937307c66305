// `vantrel image merge`: folds a run of an image's differential sets into one and
// renumbers the sets after it, with a progress bar and Ctrl-C; `--recover` only finishes
// or undoes a merge that was stopped half way.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "commands.h"
#include "diffsets/merge_switch.h"
#include "error_text.h"
#include "exit_status.h"
#include "platform/encoding.h"
#include "platform/file.h"
#include "progress_bar.h"
#include "set_folders.h"
#include "vantrel/vantrel.h"

namespace vantrel_cli {

namespace {

namespace os = orv::os;

struct MergeOptions {
  std::string sets;
  std::optional<int> first, last;
  bool recover = false;
};

BOOL ORV_CALLBACK MergeCallback(ORVVALUE message, ORVVALUE first, ORVVALUE second, ORVVALUE fourth) {
  // A file that a later set deleted stays deleted, as restoring the sets one by one
  // would leave it.
  if (message == ORV_MSG_MERGE_DELETED) return FALSE;
  return ProgressBar::Callback(message, first, second, fourth);
}

int Recover(CommandContext& context, const MergeOptions& options) {
  bool found = false;
  const DWORD error = orv::RecoverMerge(os::FromUtf8(options.sets), found);
  if (error != 0) {
    // A journal that cannot be read (13) is left as it is: name it, since it is what stops.
    std::fprintf(stderr, "vantrel: image merge --recover: %s%s: %s\n", options.sets.c_str(),
                 error == 13 ? "/MERGE.TXT" : "", ErrorText(error).c_str());
    return kExitFailure;
  }
  std::fprintf(context.out, found ? "%s: the interrupted merge is settled\n"
                                  : "%s: no interrupted merge\n",
               options.sets.c_str());
  return kExitSuccess;
}

int Merge(CommandContext& context, const MergeOptions& options) {
  if (options.recover) {
    if (options.first || options.last) {
      std::fprintf(stderr, "vantrel: image merge: --recover takes no set numbers\n");
      return kExitUsage;
    }
    return Recover(context, options);
  }
  if (!options.first || !options.last || *options.first < 0 || *options.last <= *options.first) {
    std::fprintf(stderr, "vantrel: image merge: give FIRST and LAST, with 0 <= FIRST < LAST\n");
    return kExitUsage;
  }
  if (const std::string set = MissingSet(options.sets, *options.first, *options.last);
      !set.empty()) {
    std::fprintf(stderr, "vantrel: image merge: %s is not there: sets %d to %d cannot be merged\n",
                 set.c_str(), *options.first, *options.last);
    return kExitFailure;
  }
  IOrvImageEx* merger = GetImageExInterface();
  if (merger == nullptr) {
    std::fprintf(stderr, "vantrel: image merge: the merge object cannot be created\n");
    return kExitFailure;
  }
  const orv::WString sets = os::FromUtf8(options.sets);
  ProgressBar bar("merge");
  InstallCancelHandler();
  const BOOL merged = merger->MergeDifferentialSets(sets.c_str(), *options.first, *options.last,
                                                    MergeCallback);
  bar.Finish();
  const DWORD error = merger->GetLastErrorCode();
  merger->Release();
  if (merged) {
    std::fprintf(context.out, "sets %d to %d of %s merged into USERDIFF.%d; later sets renumbered\n",
                 *options.first, *options.last, options.sets.c_str(), *options.first);
    return kExitSuccess;
  }
  const int status = ExitStatusFor(error);
  // The sets are as they were; the file that stopped the merge is named in the log.
  std::fprintf(stderr, "vantrel: image merge of sets %d to %d of %s %s: %s%s\n", *options.first,
               *options.last, options.sets.c_str(),
               status == kExitCancelled ? "cancelled" : "failed", ErrorText(error).c_str(),
               status == kExitCancelled ? "" : " (in the sets' files; the sets are unchanged)");
  return status;
}

}  // namespace

void AddImageMergeCommand(CLI::App& image, CommandContext& context) {
  auto options = std::make_shared<MergeOptions>();
  CLI::App* merge = image.add_subcommand(
      "merge", "Fold differential sets FIRST to LAST of an image into one set, without "
               "recompressing; the later sets are renumbered to follow it");
  merge->add_option("sets", options->sets, "The folder that holds USERDIFF.0, USERDIFF.1, ...")
      ->required();
  merge->add_option("first", options->first, "Number of the first set to merge");
  merge->add_option("last", options->last, "Number of the last set to merge");
  merge->add_flag("--recover", options->recover,
                  "Only finish or undo a merge that was stopped half way");
  merge->callback([&context, options] { context.exitCode = Merge(context, *options); });
}

}  // namespace vantrel_cli
