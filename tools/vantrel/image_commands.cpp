// `vantrel image create`: a full image of the partitions of one disk into a PRELOAD
// tree, with a progress bar; Ctrl-C cancels through the library's callback and leaves
// no PRELOAD behind.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "disk_option.h"
#include "error_text.h"
#include "exit_status.h"
#include "platform/encoding.h"
#include "image/capture_state.h"
#include "progress_bar.h"
#include "size_option.h"
#include "services/disk_source.h"
#include "vantrel/vantrel.h"

namespace vantrel_cli {

namespace {

namespace os = orv::os;

// The partitions the user named; empty takes every partition the library offers.
std::vector<unsigned> g_partitions;

BOOL ORV_CALLBACK CreateCallback(ORVVALUE message, ORVVALUE first, ORVVALUE second,
                                 ORVVALUE fourth) {
  if (message == ORV_MSG_PARTITION)
    return g_partitions.empty() ||
           std::find(g_partitions.begin(), g_partitions.end(), unsigned(first)) != g_partitions.end();
  return ProgressBar::Callback(message, first, second, fourth);
}

struct CreateOptions {
  unsigned disk = 0;
  std::string target;
  unsigned type = 2;
  uint64_t splitBytes = 650ull << 20;
  std::string password;
  std::string temp;
  std::string disks;
  std::vector<unsigned> partitions;
};

// What a failure code means for this command, where the library's code alone would
// leave the cause unsaid.
std::string FailureText(unsigned type, DWORD error) {
  if (type == 3 && error == 8)
    return ErrorText(error) + " (the virtual-disk library lamina is not installed beside the library)";
  if (type == 3 && error == 110)
    return ErrorText(error) +
           " (the partition's volume cannot be read raw: its folder must be where a block device"
           " or image file is mounted, and the sector image must be creatable in the target)";
  if (type == 3 && error == ORV_ERROR_NO_DRIVE_LETTER)
    return ErrorText(error) +
           " (the sector copy and its listing need the volume and the image at drive letters)";
  if (type == 3 && error == 15)
    return ErrorText(error) +
           " (the sector image could not be mounted for its listing: on Linux that needs loop"
           " devices and ntfs-3g, on Windows the tool lamina.exe beside the library)";
  return ErrorText(error);
}

int Create(CommandContext& context, const CreateOptions& options) {
  if (!UseDiskDescription(options.disks)) return kExitFailure;
  const orv::WString password = os::FromUtf8(options.password);
  if (password.size() > orv::kMaxPassword) {
    std::fprintf(stderr, "vantrel: image create: the password has %zu characters; an image keeps at most %zu\n",
                 password.size(), orv::kMaxPassword);
    return kExitUsage;
  }
  // Only whether the disk is there: its partitions' used space is counted by the capture.
  orv::DiskFacts facts;
  if (const DWORD error = orv::ReadDiskFacts(options.disk, facts)) {
    std::fprintf(stderr, "vantrel: image create: disk %u does not exist: %s\n", options.disk,
                 ErrorText(error).c_str());
    return kExitFailure;
  }
  IOrvImage* image = GetImageInterface();
  if (image == nullptr) {
    std::fprintf(stderr, "vantrel: image create failed: the image object cannot be created\n");
    return kExitFailure;
  }
  const orv::WString target = os::FromUtf8(options.target);
  const orv::WString temp = os::FromUtf8(options.temp);
  IMAGEDATA record{};
  if ((options.splitBytes >> 20) > 0xFFFFFFFFull || options.splitBytes % (1ull << 20) != 0) {
    std::fprintf(stderr, "vantrel: image create: --split-size is a whole number of MiB up to 4 PiB\n");
    return kExitUsage;
  }
  record.dwSplitSizeMB = static_cast<DWORD>(options.splitBytes >> 20);
  record.dwImageType = options.type;
  record.dwDiskNumber = options.disk;
  record.pstrPassword = options.password.empty() ? nullptr : password.c_str();
  record.pstrTargetDir = target.c_str();
  record.pstrTempDir = options.temp.empty() ? nullptr : temp.c_str();
  record.pCallBack = CreateCallback;
  g_partitions = options.partitions;

  ProgressBar bar("image");
  InstallCancelHandler();
  const BOOL created = image->CreateImage(&record);
  bar.Finish();
  const DWORD error = image->GetLastErrorCode();
  image->Release();
  if (created) {
    std::fprintf(context.out, "image of disk %u written to the PRELOAD folder of %s\n",
                 options.disk, options.target.c_str());
    return kExitSuccess;
  }
  std::fprintf(stderr, "vantrel: image create of disk %u into %s %s: %s\n", options.disk,
               options.target.c_str(), error == ORV_ERROR_CANCELLED ? "cancelled" : "failed",
               FailureText(options.type, error).c_str());
  return ExitStatusFor(error);
}

}  // namespace

void AddImageCommands(CLI::App& app, CommandContext& context) {
  CLI::App* image = app.add_subcommand("image", "Full images of a disk's partitions");
  image->require_subcommand(1);

  auto options = std::make_shared<CreateOptions>();
  CLI::App* create = image->add_subcommand(
      "create", "Capture every partition of a disk into TARGET\\PRELOAD (one folder per partition)");
  create->add_option("--disk", options->disk, "Number of the disk to capture")->required();
  create->add_option("--target", options->target, "Folder that receives the PRELOAD tree")
      ->required();
  create
      ->add_option("--type", options->type,
                   "2 archive in parts of 100 MiB / 5,000 files (default), 3 sector copy, "
                   "4 WIM file, 5 archive split at --split-size, 7 catalogues only")
      ->check(CLI::IsMember({0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u}));
  AddSizeOption(*create, "--split-size", options->splitBytes,
                "Part size for types 3, 4 and 5, whole MiB (default 650M)");
  create->add_option("--password", options->password, "Image password (at most 41 characters)");
  create->add_option("--temp", options->temp, "Temporary folder for the WIM engine");
  AddDisksOption(*create, options->disks);
  create->add_option("--partition", options->partitions,
                     "Capture only these partition numbers (repeatable; default: all)");
  create->callback([&context, options] { context.exitCode = Create(context, *options); });
  AddImageRestoreCommands(*image, context);
  AddImageWimCommand(*image, context);
  AddImageVerifyCommand(*image, context);
  AddImageDiffCommand(*image, context);
  AddImageMergeCommand(*image, context);
}

}  // namespace vantrel_cli
