// `vantrel image wim FOLDER FILE`: a folder captured into one WIM file by the image
// object, split into parts above a size, with a progress bar; Ctrl-C cancels through
// the library's callback. A capture that fails or is cancelled leaves no file behind.
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "error_text.h"
#include "exit_status.h"
#include "image/image.h"
#include "platform/encoding.h"
#include "platform/file.h"
#include "progress_bar.h"
#include "vantrel/vantrel.h"
#include "wim/engine.h"

namespace vantrel_cli {

namespace {

namespace os = orv::os;
namespace wim = orv::wim;

struct WimOptions {
  std::string folder;
  std::string file;
  std::string compression = "lzx";
  unsigned splitSizeMB = 0;
  bool boot = false;
  bool force = false;
};

// The engine's compression type for its name; false for a name it does not know.
bool CompressionType(const std::string& name, DWORD& type) {
  if (name == "none") type = wim::kCompressNone;
  else if (name == "xpress") type = wim::kCompressXpress;
  else if (name == "lzx") type = wim::kCompressLzx;
  else return false;
  return true;
}

// What a failure code means for this command, where the library's code alone would
// leave the cause unsaid.
std::string FailureText(DWORD error) {
  if (error == ORV_ERROR_ARG1)
    return ErrorText(error) + " (no WIM engine on this system: the imaging library is not installed)";
  return ErrorText(error);
}

int CaptureFolder(CommandContext& context, const WimOptions& options) {
  DWORD compression = 0;
  if (!CompressionType(options.compression, compression)) {
    std::fprintf(stderr, "vantrel: image wim: unknown compression \"%s\" (none, xpress or lzx)\n",
                 options.compression.c_str());
    return kExitUsage;
  }
  const orv::WString folder = os::FromUtf8(options.folder);
  const orv::WString file = os::FromUtf8(options.file);
  os::FileInfo info;
  if (const DWORD error = os::GetInfo(folder, info); error != 0 || !(info.attributes & os::kAttrDirectory)) {
    std::fprintf(stderr, "vantrel: image wim: %s is not a folder: %s\n", options.folder.c_str(),
                 ErrorText(error ? error : 267).c_str());
    return kExitFailure;
  }
  if (os::GetInfo(file, info) == 0 && !options.force) {
    std::fprintf(stderr, "vantrel: image wim: %s exists; --force replaces it\n", options.file.c_str());
    return kExitFailure;
  }
  IOrvImage* image = GetImageInterface();
  if (image == nullptr) {
    std::fprintf(stderr, "vantrel: image wim failed: the image object cannot be created\n");
    return kExitFailure;
  }
  ProgressBar bar("wim");
  InstallCancelHandler();
  const BOOL created = image->CreateWIM(folder.c_str(), file.c_str(), compression,
                                        options.splitSizeMB, options.boot ? TRUE : FALSE,
                                        ProgressBar::Callback);
  bar.Finish();
  const DWORD error = image->GetLastErrorCode();
  image->Release();
  if (!created) {
    orv::COrvImage::DeleteImageFiles(file);
    std::fprintf(stderr, "vantrel: image wim of %s into %s %s: %s\n", options.folder.c_str(),
                 options.file.c_str(), error == ORV_ERROR_CANCELLED ? "cancelled" : "failed",
                 FailureText(error).c_str());
    return error == ORV_ERROR_CANCELLED ? kExitCancelled : kExitFailure;
  }
  std::fprintf(context.out, "%s captured into %s (%s compression)\n", options.folder.c_str(),
               options.file.c_str(), options.compression.c_str());
  return kExitSuccess;
}

}  // namespace

void AddImageWimCommand(CLI::App& image, CommandContext& context) {
  auto options = std::make_shared<WimOptions>();
  CLI::App* command =
      image.add_subcommand("wim", "Capture FOLDER into the WIM file FILE, split into parts above --split-size");
  command->add_option("FOLDER", options->folder, "Folder to capture")->required();
  command->add_option("FILE", options->file, "WIM file to write")->required();
  command->add_option("--compression", options->compression,
                      "none, xpress or lzx (default lzx)");
  command->add_option("--split-size", options->splitSizeMB,
                      "Cut a file larger than this many MiB into parts of at most this size "
                      "(FILE, FILE2, ...; default 0: never)");
  command->add_flag("--boot", options->boot, "Mark the image bootable");
  command->add_flag("--force", options->force, "Replace FILE when it exists");
  command->callback([&context, options] { context.exitCode = CaptureFolder(context, *options); });
}

}  // namespace vantrel_cli
