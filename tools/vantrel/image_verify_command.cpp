// `vantrel image verify IMAGE_DIR`: reads an image once, without extracting anything,
// and reports every archive, part file, entry and catalogue line that is not as it
// should be. Exit status 0 only when all is well.
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "error_text.h"
#include "exit_status.h"
#include "image/verify_image.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/native_name.h"
#include "progress_bar.h"

namespace vantrel_cli {

namespace {

namespace os = orv::os;

// One finding: "  FILE: ENTRY: problem (error N: meaning)".
void PrintFinding(std::FILE* out, const orv::VerifyFinding& finding) {
  std::string line = "  " + os::ToUtf8(finding.file);
  if (!finding.entry.empty()) line += ": " + os::ToUtf8(finding.entry);
  line += ": " + os::ToUtf8(finding.problem);
  if (finding.error != 0) line += " (" + ErrorText(finding.error) + ")";
  std::fprintf(out, "%s\n", line.c_str());
}

// "1 problem", "2 problems".
std::string Problems(size_t count) {
  return std::to_string(count) + (count == 1 ? " problem" : " problems");
}

void PrintFolder(std::FILE* out, const orv::FolderVerification& folder) {
  // The folder as the system names it (on Linux with "/" throughout).
  std::string name;
  if (os::NativeNameOf(folder.folder, name) != 0) name = os::ToUtf8(folder.folder);
  std::fprintf(out, "%s: %u archives, %llu entries, %llu bytes of data read: %s\n", name.c_str(),
               unsigned(folder.archives), static_cast<unsigned long long>(folder.entries),
               static_cast<unsigned long long>(folder.storedBytes),
               folder.findings.empty() ? "all well" : Problems(folder.findings.size()).c_str());
  if (!folder.catalogueCompared)
    std::fprintf(out, "  (ALL.CRC not compared: the image is a WIM file or a sector image)\n");
  for (const orv::VerifyFinding& finding : folder.findings) PrintFinding(out, finding);
}

// The bad argument, when IMAGE_DIR is no folder at all.
bool IsNoFolder(DWORD error) {
  return error == orv::err::kFileNotFound || error == orv::err::kPathNotFound || error == orv::err::kDirectory;
}

int Verify(CommandContext& context, const std::string& imageDir) {
  ProgressBar bar("verify");
  const orv::ImageVerification result =
      orv::VerifyImage(os::FromUtf8(imageDir), [&bar](uint64_t done, uint64_t total) {
        bar.OnMessage(ORV_MSG_TOTAL_AMOUNT, static_cast<DWORD>(total), static_cast<DWORD>(total >> 32));
        bar.OnMessage(ORV_MSG_DONE_AMOUNT, static_cast<DWORD>(done), static_cast<DWORD>(done >> 32));
        return !CancelRequested();
      });
  bar.Finish();
  for (const orv::FolderVerification& folder : result.folders) PrintFolder(context.out, folder);
  if (result.cancelled) {
    std::fprintf(stderr, "vantrel: image verify of %s cancelled: %s\n", imageDir.c_str(),
                 ErrorText(ORV_ERROR_CANCELLED).c_str());
    return kExitCancelled;
  }
  if (result.error != 0) {
    const bool noFolder = IsNoFolder(result.error);
    std::fprintf(stderr, "vantrel: image verify: %s %s: %s\n", imageDir.c_str(),
                 noFolder ? "is not a folder" : "cannot be read", ErrorText(result.error).c_str());
    return noFolder ? kExitUsage : kExitFailure;
  }
  if (result.folders.empty()) {
    std::fprintf(stderr,
                 "vantrel: image verify: %s holds no image folder (no BASE.XML, ALL.CRC or BASE.INP "
                 "in it or in the three levels of folders below it)\n",
                 imageDir.c_str());
    return kExitFailure;
  }
  if (!result.AllWell()) {
    size_t problems = 0;
    for (const orv::FolderVerification& folder : result.folders) problems += folder.findings.size();
    std::fprintf(stderr, "vantrel: image verify: %s has %s (listed above)\n", imageDir.c_str(),
                 Problems(problems).c_str());
    return kExitFailure;
  }
  std::fprintf(context.out, "image %s verified: all well\n", imageDir.c_str());
  return kExitSuccess;
}

}  // namespace

void AddImageVerifyCommand(CLI::App& image, CommandContext& context) {
  auto imageDir = std::make_shared<std::string>();
  CLI::App* verify = image.add_subcommand(
      "verify",
      "Read an image folder (a partition folder, or a PRELOAD tree) once and check every archive, "
      "part file, entry and catalogue line; nothing is extracted");
  verify->add_option("IMAGE_DIR", *imageDir, "Partition folder or folder holding partition folders")
      ->required();
  verify->callback([&context, imageDir] { context.exitCode = Verify(context, *imageDir); });
}

}  // namespace vantrel_cli
