// `vantrel image diff`: a differential set of one volume against a reference image (a
// full image's partition folder or an earlier set), with a progress bar and Ctrl-C.
// The volume is named by its drive letter; on Linux `--drive E=/path` maps the letter.
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "disk_option.h"
#include "drive_option.h"
#include "error_text.h"
#include "exit_status.h"
#include "platform/encoding.h"
#include "platform/file.h"
#include "platform/volume.h"
#include "progress_bar.h"
#include "size_option.h"
#include "vantrel/vantrel.h"

namespace vantrel_cli {

namespace {

namespace os = orv::os;

struct DiffOptions {
  std::string drive, reference, target, description, disks;
  uint64_t splitBytes = 750ull << 20;
};

std::string g_target;  // where the set goes, for the space question

BOOL ORV_CALLBACK DiffCallback(ORVVALUE message, ORVVALUE first, ORVVALUE second, ORVVALUE fourth) {
  switch (message) {
    case ORV_MSG_FILE:
      return TRUE;  // every entry is examined
    case ORV_MSG_DIFF_ENTRY:
      return FALSE;  // no entry is declared unchanged by hand
    case ORV_MSG_SCAN_AMOUNT: {
      // The changes must fit on the target.
      os::VolumeSpace space;
      const uint64_t needed = uint64_t{static_cast<DWORD>(second)} * 1024;
      if (os::GetFreeSpace(os::FromUtf8(g_target), space) == 0 && space.freeToCaller < needed) {
        EndProgressLine();
        std::fprintf(stderr, "vantrel: image diff: the changes take %llu bytes, %s has %llu free\n",
                     static_cast<unsigned long long>(needed), g_target.c_str(),
                     static_cast<unsigned long long>(space.freeToCaller));
        return FALSE;
      }
      return TRUE;
    }
    case ORV_MSG_DIFF_RESULT:
      return TRUE;
    default:
      return ProgressBar::Callback(message, first, second, fourth);
  }
}

int Diff(CommandContext& context, const DiffOptions& options) {
  if (!UseDiskDescription(options.disks)) return kExitFailure;
  const orv::Char driveLetter = UseDriveOption(options.drive, "image diff");
  if (driveLetter == 0) return kExitUsage;
  // Without the reference's catalogue every file would count as new: a mistyped folder
  // would give a full copy reported as a set.
  DWORD attributes = 0;
  if (os::GetAttributes(os::FromUtf8(options.reference) + ORV_T("/ALL.CRC"), attributes) != 0) {
    std::fprintf(stderr,
                 "vantrel: image diff: --reference %s holds no ALL.CRC: it is neither a full"
                 " image's partition folder nor a set\n",
                 options.reference.c_str());
    return kExitUsage;
  }
  IOrvImage* image = GetImageInterface();
  if (image == nullptr) {
    std::fprintf(stderr, "vantrel: image diff: the image object cannot be created\n");
    return kExitFailure;
  }
  const orv::WString reference = os::FromUtf8(options.reference);
  const orv::WString target = os::FromUtf8(options.target);
  const orv::WString description = os::FromUtf8(options.description);
  DIFFIMAGEDATA record{};
  record.wDriveLetter = driveLetter;
  record.m_dwINPVersion = 5;
  record.dwSplitSizeMB = static_cast<DWORD>(options.splitBytes >> 20);
  record.pstrReferenceDir = reference.c_str();
  record.pstrTargetDir = target.c_str();
  record.pstrDescription = options.description.empty() ? nullptr : description.c_str();
  record.pCallBack = DiffCallback;
  g_target = options.target;

  ProgressBar bar("diff");
  InstallCancelHandler();
  const BOOL made = image->CreateDifferentialImage(&record);
  bar.Finish();
  const DWORD error = image->GetLastErrorCode();
  image->Release();
  if (made) {
    std::fprintf(context.out, "differential set of %c: written to %s\n", char(driveLetter),
                 options.target.c_str());
    return kExitSuccess;
  }
  const int status = ExitStatusFor(error);
  std::fprintf(stderr, "vantrel: image diff of %c: into %s %s: %s\n", char(driveLetter),
               options.target.c_str(), status == kExitCancelled ? "cancelled" : "failed",
               ErrorText(error).c_str());
  return status;
}

}  // namespace

void AddImageDiffCommand(CLI::App& image, CommandContext& context) {
  auto options = std::make_shared<DiffOptions>();
  CLI::App* diff = image.add_subcommand(
      "diff", "Store what changed on a volume since a reference image as a differential set "
              "(make the sets as SETS/USERDIFF.0, SETS/USERDIFF.1, ...)");
  diff->add_option("--drive", options->drive,
                   "The volume's drive letter, or LETTER=FOLDER to map the letter to a folder")
      ->required();
  diff->add_option("--reference", options->reference,
                   "The reference: a full image's partition folder or the previous set")
      ->required();
  diff->add_option("--target", options->target, "Folder of the new set (made; removed on failure)")
      ->required();
  diff->add_option("--description", options->description, "Text kept in the set's DESC.TXT");
  AddSizeOption(*diff, "--split-size", options->splitBytes,
                "Archive parts are 100 MiB smaller than this (default 750M; 100M or less: unsplit)");
  AddDisksOption(*diff, options->disks);
  diff->callback([&context, options] { context.exitCode = Diff(context, *options); });
}

}  // namespace vantrel_cli
