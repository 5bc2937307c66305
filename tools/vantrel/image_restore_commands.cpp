// `vantrel image restore|list|list-diff|extract|info|enumerate`: image folders and their
// archives back onto a folder, or looked into without writing. Each failed entry is
// named with its cause; Ctrl-C skips what is left and ends with the cancel status.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "entry_line.h"
#include "error_text.h"
#include "exit_status.h"
#include "image_password.h"
#include "platform/encoding.h"
#include "platform/file.h"
#include "progress_bar.h"
#include "set_folders.h"
#include "vantrel/vantrel.h"

namespace vantrel_cli {

namespace {

namespace os = orv::os;

// What the running command's callback reports to, besides the bar.
struct RunState {
  std::FILE* out = stdout;
  std::string command;
  bool tsv = false;
  unsigned failures = 0;
  bool stoppedOnFailure = false;
};
RunState g_run;

std::string Utf8(ORVVALUE text) {
  return text == 0 ? std::string() : os::ToUtf8(reinterpret_cast<const orv::Char*>(text));
}

BOOL ORV_CALLBACK ImageCallback(ORVVALUE message, ORVVALUE first, ORVVALUE second,
                                ORVVALUE fourth) {
  switch (message) {
    case ORV_MSG_ASK_RESTORE:
      // After Ctrl-C every entry left is skipped, which ends the run at once.
      return CancelRequested() ? FALSE : TRUE;
    case ORV_MSG_WRITE_FAILED: {
      ++g_run.failures;
      EndProgressLine();
      // A restore refuses with 123 what would leave the target or go through a link in it.
      const DWORD code = static_cast<DWORD>(second);
      std::fprintf(stderr, "vantrel: %s: cannot restore %s: %s%s\n", g_run.command.c_str(),
                   Utf8(fourth).c_str(), ErrorText(code).c_str(),
                   code == 123 ? " (it would leave the target, or a link in the target stands on "
                                 "its way: links are never followed)"
                               : "");
      if (EndsTheWork(code)) g_run.stoppedOnFailure = true;
      return g_run.stoppedOnFailure || CancelRequested() ? FALSE : TRUE;
    }
    case ORV_MSG_ENTRY_INFO: {
      const auto* record = reinterpret_cast<const ORVLISTRECORD*>(fourth);
      if (record != nullptr && record->pstrPath != nullptr) {
        EndProgressLine();
        PrintEntry(g_run.out, os::ToUtf8(record->pstrPath), record->data, g_run.tsv);
      }
      return TRUE;
    }
    case ORV_MSG_WALK_ENTRY: {
      const auto* data = reinterpret_cast<const ORVFILEATTRIBUTEDATA*>(second);
      if (data != nullptr) PrintEntry(g_run.out, Utf8(first), *data, g_run.tsv);
      return CancelRequested() ? FALSE : TRUE;
    }
    default:
      return ProgressBar::Callback(message, first, second, fourth);
  }
}

class Image {
 public:
  Image() : image_(GetImageInterface()) {}
  ~Image() {
    if (image_) image_->Release();
  }
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;
  IOrvImage* operator->() const { return image_; }
  IOrvImage& operator*() const { return *image_; }
  explicit operator bool() const { return image_ != nullptr; }

 private:
  IOrvImage* image_;
};

void StartRun(std::FILE* out, const std::string& command, bool tsv) {
  g_run = RunState{out, command, tsv};
  InstallCancelHandler();
}

// The exit status of a run whose library call returned `done` with `error` left, and
// the line that says so; `subject` names what the command worked on.
int Finish(bool done, DWORD error, const std::string& subject) {
  EndProgressLine();
  const std::string& command = g_run.command;
  if (CancelRequested() || error == ORV_ERROR_CANCELLED) {
    std::fprintf(stderr, "vantrel: %s of %s cancelled\n", command.c_str(), subject.c_str());
    return kExitCancelled;
  }
  if (g_run.stoppedOnFailure) {
    std::fprintf(stderr, "vantrel: %s of %s stopped: the target cannot take more\n",
                 command.c_str(), subject.c_str());
    return kExitFailure;
  }
  if (!done) {
    std::fprintf(stderr, "vantrel: %s of %s failed: %s\n", command.c_str(), subject.c_str(),
                 ErrorText(error).c_str());
    return g_run.failures > 0 ? kExitPartial : kExitFailure;
  }
  if (g_run.failures > 0) {
    std::fprintf(stderr, "vantrel: %s of %s: %u entries could not be written\n", command.c_str(),
                 subject.c_str(), g_run.failures);
    return kExitPartial;
  }
  return kExitSuccess;
}

struct RestoreOptions {
  std::string image, target, sets, password;
  int point = -1;
};

int Restore(CommandContext& context, const RestoreOptions& options) {
  StartRun(context.out, "image restore", false);
  Image image;
  if (!image) return Finish(false, 8, options.image);
  const orv::WString source = os::FromUtf8(options.image);
  const orv::WString target = os::FromUtf8(options.target);
  // The password is asked for before anything is written.
  if (const int refused = CheckImagePassword(*image, source, options.password,
                                             "image restore"))
    return refused;
  if (!options.sets.empty()) {
    DWORD journal = 0;
    if (os::GetAttributes(os::FromUtf8(options.sets + "/MERGE.TXT"), journal) == 0) {
      std::fprintf(stderr,
                   "vantrel: image restore: a merge of the sets in %s was stopped half way; "
                   "run `vantrel image merge %s --recover` first\n",
                   options.sets.c_str(), options.sets.c_str());
      return kExitFailure;
    }
    // Every set of the chain is there before anything is written.
    if (const std::string set = MissingSet(options.sets, 0, options.point); !set.empty()) {
      std::fprintf(stderr, "vantrel: image restore: %s is not there: the sets up to %d cannot "
                   "be restored\n", set.c_str(), options.point);
      return kExitFailure;
    }
  }
  ProgressBar bar("restore");
  BOOL restored;
  if (options.sets.empty()) {
    restored = image->RestoreImage(source.c_str(), target.c_str(), ImageCallback);
  } else {
    const orv::WString sets = os::FromUtf8(options.sets);
    restored = image->RestoreDifferentialImage(source.c_str(), sets.c_str(), options.point,
                                               target.c_str(), ImageCallback);
  }
  bar.Finish();
  const int status = Finish(restored, image->GetLastErrorCode(), options.image);
  if (status == kExitSuccess)
    std::fprintf(context.out, "%s restored onto %s\n", options.image.c_str(), options.target.c_str());
  return status;
}

int List(CommandContext& context, const std::string& folder, bool tsv) {
  StartRun(context.out, "image list", tsv);
  Image image;
  if (!image) return Finish(false, 8, folder);
  PrintEntryHeader(context.out, tsv);
  const BOOL listed = image->ListContent(os::FromUtf8(folder).c_str(), ImageCallback);
  return Finish(listed, image->GetLastErrorCode(), folder);
}

int ListSets(CommandContext& context, const std::string& sets, int point, bool tsv) {
  StartRun(context.out, "image list-diff", tsv);
  Image image;
  if (!image) return Finish(false, 8, sets);
  // A folder that is not there holds no sets: that is a failure, not an empty listing.
  DWORD attributes = 0;
  if (const DWORD error = os::GetAttributes(os::FromUtf8(sets), attributes))
    return Finish(false, error, sets);
  PrintEntryHeader(context.out, tsv);
  const BOOL listed =
      image->ListContentDifferential(os::FromUtf8(sets).c_str(), point, ImageCallback);
  return Finish(listed, image->GetLastErrorCode(), sets);
}

int Extract(CommandContext& context, const std::string& archive, const std::string& target,
            const std::string& entry) {
  StartRun(context.out, "image extract", false);
  Image image;
  if (!image) return Finish(false, 8, archive);
  const orv::WString file = os::FromUtf8(archive), folder = os::FromUtf8(target);
  BOOL extracted;
  if (entry.empty()) {
    ProgressBar bar("extract");
    extracted = image->Extract(file.c_str(), folder.c_str(), ImageCallback);
    bar.Finish();
  } else {
    // Entry names are stored with backslashes; a user may type either.
    orv::WString name = os::FromUtf8(entry);
    for (orv::Char& c : name)
      if (c == '/') c = '\\';
    extracted = image->ExtractSingleFile(name.c_str(), file.c_str(), folder.c_str());
  }
  return Finish(extracted, image->GetLastErrorCode(), entry.empty() ? archive : entry);
}

int Info(CommandContext& context, const std::string& archive, const std::string& entry) {
  StartRun(context.out, "image info", false);
  Image image;
  if (!image) return Finish(false, 8, archive);
  orv::WString name = os::FromUtf8(entry);
  for (orv::Char& c : name)
    if (c == '/') c = '\\';
  ORVFILEATTRIBUTEDATA data{};
  const BOOL found = image->GetEntryInfo(name.c_str(), os::FromUtf8(archive).c_str(), &data);
  if (found) {
    PrintEntryHeader(context.out, false);
    PrintEntry(context.out, entry, data, false);
  } else if (image->GetLastErrorCode() == 259) {
    std::fprintf(stderr, "vantrel: image info: %s holds no entry %s\n", archive.c_str(), entry.c_str());
    return kExitFailure;
  }
  return Finish(found, image->GetLastErrorCode(), entry + " in " + archive);
}

int Enumerate(CommandContext& context, const std::string& archive, bool tsv) {
  StartRun(context.out, "image enumerate", tsv);
  Image image;
  if (!image) return Finish(false, 8, archive);
  PrintEntryHeader(context.out, tsv);
  const BOOL walked = image->EnumerateContent(os::FromUtf8(archive).c_str(), ImageCallback);
  return Finish(walked, image->GetLastErrorCode(), archive);
}

}  // namespace

void AddImageRestoreCommands(CLI::App& image, CommandContext& context) {
  auto restore = std::make_shared<RestoreOptions>();
  CLI::App* restoreCommand = image.add_subcommand(
      "restore",
      "Restore one image folder (a PART folder of a PRELOAD tree) onto TARGET; with "
      "--differential, then the sets USERDIFF.0 up to --point. Files already there are replaced");
  restoreCommand->add_option("IMAGE_DIR", restore->image, "Image folder (holds BASE.XML)")->required();
  restoreCommand->add_option("TARGET", restore->target, "Folder to restore into (made if missing)")
      ->required();
  CLI::Option* sets = restoreCommand->add_option(
      "--differential", restore->sets, "Folder holding the differential sets USERDIFF.0, USERDIFF.1, ...");
  restoreCommand
      ->add_option("--point", restore->point,
                   "Last set to restore (default -1: the base image only)")
      ->needs(sets);
  restoreCommand->add_option("--password", restore->password,
                             "The image's password (asked for on a terminal when the image has one)");
  restoreCommand->callback([&context, restore] { context.exitCode = Restore(context, *restore); });

  auto list = std::make_shared<std::pair<std::string, bool>>();
  CLI::App* listCommand = image.add_subcommand("list", "List the files of an image folder");
  listCommand->add_option("IMAGE_DIR", list->first, "Image folder (holds BASE.XML)")->required();
  listCommand->add_flag("--tsv", list->second, "name, size, attributes, last-write file time");
  listCommand->callback(
      [&context, list] { context.exitCode = List(context, list->first, list->second); });

  struct SetsOptions {
    std::string sets;
    int point = -1;
    bool tsv = false;
  };
  auto listSets = std::make_shared<SetsOptions>();
  CLI::App* listSetsCommand =
      image.add_subcommand("list-diff", "List the files of the differential sets USERDIFF.0 ...");
  listSetsCommand->add_option("SETS_DIR", listSets->sets, "Folder holding USERDIFF.0, USERDIFF.1, ...")
      ->required();
  listSetsCommand->add_option("--point", listSets->point,
                              "Last set listed (default -1: every set there is)");
  listSetsCommand->add_flag("--tsv", listSets->tsv, "name, size, attributes, last-write file time");
  listSetsCommand->callback([&context, listSets] {
    context.exitCode = ListSets(context, listSets->sets, listSets->point, listSets->tsv);
  });

  struct ExtractOptions {
    std::string archive, target, entry;
  };
  auto extract = std::make_shared<ExtractOptions>();
  CLI::App* extractCommand = image.add_subcommand(
      "extract", "Extract an archive (.INP) or WIM file, or one entry of an archive, into TARGET; "
                 "files already there are replaced");
  extractCommand->add_option("ARCHIVE", extract->archive, "Archive or WIM file")->required();
  extractCommand->add_option("TARGET", extract->target, "Folder to extract into")->required();
  extractCommand->add_option("--entry", extract->entry,
                             "Only this entry (path inside the archive, / or \\ between names)");
  extractCommand->callback([&context, extract] {
    context.exitCode = Extract(context, extract->archive, extract->target, extract->entry);
  });

  auto info = std::make_shared<std::pair<std::string, std::string>>();
  CLI::App* infoCommand = image.add_subcommand("info", "Size, attributes and time of one archive entry");
  infoCommand->add_option("ARCHIVE", info->first, "Archive file")->required();
  infoCommand->add_option("NAME", info->second, "Entry path inside the archive")->required();
  infoCommand->callback(
      [&context, info] { context.exitCode = Info(context, info->first, info->second); });

  auto enumerate = std::make_shared<std::pair<std::string, bool>>();
  CLI::App* enumerateCommand = image.add_subcommand(
      "enumerate", "Every entry of an archive, folders and system files included");
  enumerateCommand->add_option("ARCHIVE", enumerate->first, "Archive file")->required();
  enumerateCommand->add_flag("--tsv", enumerate->second, "name, size, attributes, last-write file time");
  enumerateCommand->callback([&context, enumerate] {
    context.exitCode = Enumerate(context, enumerate->first, enumerate->second);
  });
}

}  // namespace vantrel_cli
