// `vantrel wim ...`: capture a folder into a WIM file, apply an image, split a WIM into
// parts, show what a WIM holds, and set or read the password in its header. Each long
// step shows a progress bar fed by the engine's messages; Ctrl-C aborts it.
#include <cstdio>
#include <string>

#include "commands.h"
#include "platform/dir_search.h"
#include "platform/encoding.h"
#include "platform/local_memory.h"
#include "vantrel/vantrel.h"
#include "wim/engine.h"
#include "wim_messages.h"

namespace vantrel_cli {

namespace {

namespace wim = orv::wim;
using orv::os::FromUtf8;

constexpr DWORD kCancelled = 1235;

// One binding object for the length of a command.
class Binding {
 public:
  Binding() : wim_(GetWIMInterface()) {}
  ~Binding() { OrvRelease(wim_); }
  Binding(const Binding&) = delete;
  Binding& operator=(const Binding&) = delete;
  IOrvWim* operator->() const { return wim_; }
  explicit operator bool() const { return wim_ != nullptr; }

 private:
  IOrvWim* wim_;
};

int Failed(const Binding& wim, const char* what) {
  const DWORD code = wim->GetLastErrorCode();
  if (code == kCancelled)
    std::fprintf(stderr, "vantrel: %s cancelled\n", what);
  else if (code == ORV_ERROR_ARG1)
    std::fprintf(stderr, "vantrel: %s failed: no imaging engine on this system\n", what);
  else
    std::fprintf(stderr, "vantrel: %s failed: error %u (0x%08X)\n", what, unsigned(code),
                 unsigned(code));
  return 1;
}

int NoBinding() {
  std::fprintf(stderr, "vantrel: cannot create the WIM binding\n");
  return 1;
}

const char* CompressionName(DWORD type) {
  switch (type) {
    case wim::kCompressNone:
      return "none";
    case wim::kCompressXpress:
      return "XPRESS";
    case wim::kCompressLzx:
      return "LZX";
    default:
      return "LZMS";
  }
}

int Capture(const std::string& folder, const std::string& file, DWORD compression) {
  Binding wim;
  if (!wim) return NoBinding();
  if (!wim->WIMCreateFile(FromUtf8(file).c_str(), wim::kGenericWrite, wim::kCreateAlways, 0,
                          compression, nullptr))
    return Failed(wim, "opening the WIM file");
  ProgressBar bar("capture");
  WimMessageTarget target{&bar};
  wim->WIMRegisterMessageCallback(nullptr, WimMessageRoutine, &target);
  HANDLE image = wim->WIMCaptureImage(nullptr, FromUtf8(folder).c_str(), 0);
  bar.Finish();
  if (image == nullptr) return Failed(wim, "capture");
  wim->WIMCloseHandle(image);
  if (!wim->WIMCloseHandle(nullptr)) return Failed(wim, "writing the WIM file");
  std::printf("captured %s into %s (%s)%s\n", folder.c_str(), file.c_str(),
              CompressionName(compression), target.skipped != 0 ? ", some entries skipped" : "");
  return 0;
}

// The other parts of a split set, found beside the first one by name ("set.swm" has
// "set2.swm", "set3.swm", ...).
void ReferenceParts(Binding& wim, const std::string& file) {
  const size_t slash = file.find_last_of("/\\");
  const size_t dot = file.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string folder = slash == std::string::npos ? "." : file.substr(0, slash);
  const std::string name = file.substr(slash == std::string::npos ? 0 : slash + 1);
  const std::string pattern =
      hasExtension ? file.substr(0, dot) + "*" + file.substr(dot) : file + "*";
  orv::os::DirSearch search;
  orv::os::FindData found;
  for (DWORD error = search.First(FromUtf8(pattern), found); error == 0;
       error = search.Next(found)) {
    if ((found.attributes & orv::os::kAttrDirectory) || found.name == FromUtf8(name)) continue;
    const orv::WString part = FromUtf8(folder) + ORV_T("/") + found.name;
    wim->WIMSetReferenceFile(nullptr, part.c_str(), wim::kReferenceAppend);
  }
}

int Apply(const std::string& file, const std::string& folder, DWORD index) {
  Binding wim;
  if (!wim) return NoBinding();
  if (!wim->WIMCreateFile(FromUtf8(file).c_str(), wim::kGenericRead, wim::kOpenExisting, 0, 0,
                          nullptr))
    return Failed(wim, "opening the WIM file");
  wim::WimInfo info{};
  if (wim->WIMGetAttributes(nullptr, &info, sizeof info) && info.totalParts > 1)
    ReferenceParts(wim, file);
  ProgressBar bar("apply");
  WimMessageTarget target{&bar};
  wim->WIMRegisterMessageCallback(nullptr, WimMessageRoutine, &target);
  HANDLE image = wim->WIMLoadImage(nullptr, index);
  if (image == nullptr) return Failed(wim, "loading the image");
  const BOOL applied = wim->WIMApplyImage(image, FromUtf8(folder).c_str(), 0);
  bar.Finish();
  const int result = applied ? 0 : Failed(wim, "apply");
  wim->WIMCloseHandle(image);
  if (!applied) return result;
  std::printf("applied image %u of %s to %s\n", unsigned(index), file.c_str(), folder.c_str());
  return 0;
}

int Split(const std::string& file, unsigned megabytes, std::string parts) {
  if (megabytes == 0) {
    std::fprintf(stderr, "vantrel: the part size must be at least 1 MiB\n");
    return 1;
  }
  if (parts.empty()) {
    const size_t slash = file.find_last_of("/\\");
    const size_t dot = file.find_last_of('.');
    parts = (dot != std::string::npos && (slash == std::string::npos || dot > slash)
                 ? file.substr(0, dot)
                 : file) +
            ".swm";
  }
  Binding wim;
  if (!wim) return NoBinding();
  if (!wim->WIMCreateFile(FromUtf8(file).c_str(), wim::kGenericRead, wim::kOpenExisting, 0, 0,
                          nullptr))
    return Failed(wim, "opening the WIM file");
  ProgressBar bar("split");
  WimMessageTarget target{&bar};
  wim->WIMRegisterMessageCallback(nullptr, WimMessageRoutine, &target);
  LONGLONG size = LONGLONG(megabytes) * 1048576;
  const BOOL split = wim->WIMSplitFile(nullptr, FromUtf8(parts).c_str(), &size, 0);
  bar.Finish();
  if (!split) return Failed(wim, "split");
  std::printf("split %s into parts of at most %u MiB named like %s\n", file.c_str(), megabytes,
              parts.c_str());
  return 0;
}

std::string PasswordText(const orv::Char (&password)[16]) {
  size_t length = 0;
  while (length < 16 && password[length] != 0) ++length;
  return orv::os::ToUtf8(orv::WStringView(password, length));
}

int Info(const std::string& file) {
  Binding wim;
  if (!wim) return NoBinding();
  const orv::WString path = FromUtf8(file);
  if (!wim->WIMCreateFile(path.c_str(), wim::kGenericRead, wim::kOpenExisting, 0, 0, nullptr))
    return Failed(wim, "opening the WIM file");
  wim::WimInfo info{};
  if (!wim->WIMGetAttributes(nullptr, &info, sizeof info)) return Failed(wim, "reading the header");
  std::printf("File:         %s\n", file.c_str());
  std::printf("Images:       %u\n", unsigned(info.imageCount));
  std::printf("Compression:  %s\n", CompressionName(info.compressionType));
  std::printf("Part:         %u of %u\n", unsigned(info.partNumber), unsigned(info.totalParts));
  std::printf("Boot image:   %u\n", unsigned(info.bootIndex));
  void* xml = nullptr;
  DWORD size = 0;
  if (wim->WIMGetImageInformation(nullptr, &xml, &size)) {
    const auto* text = static_cast<const orv::Char*>(xml);
    orv::WStringView view(text, size / sizeof(orv::Char));
    if (!view.empty() && view.front() == 0xFEFF) view.remove_prefix(1);
    std::printf("Information:  %s\n", orv::os::ToUtf8(view).c_str());
    orv::os::LocalRelease(xml);
  }
  wim->WIMCloseHandle(nullptr);
  orv::Char password[16];
  if (wim->GetPassword(path.c_str(), password))
    std::printf("Password:     %s\n", password[0] != 0 ? "set" : "none");
  return 0;
}

int SetPassword(const std::string& file, const std::string& password) {
  Binding wim;
  if (!wim) return NoBinding();
  const orv::WString text = FromUtf8(password);
  if (!wim->SetPassword(FromUtf8(file).c_str(), text.c_str())) return Failed(wim, "password set");
  std::printf("password set%s\n",
              text.size() > 16 ? " (only its first 16 characters are kept)" : "");
  return 0;
}

int GetPassword(const std::string& file) {
  Binding wim;
  if (!wim) return NoBinding();
  orv::Char password[16];
  if (!wim->GetPassword(FromUtf8(file).c_str(), password)) return Failed(wim, "password get");
  if (password[0] == 0)
    std::printf("no password\n");
  else
    std::printf("%s\n", PasswordText(password).c_str());
  return 0;
}

}  // namespace

void AddWimCommands(CLI::App& app, CommandContext& context) {
  CLI::App* group = app.add_subcommand("wim", "Capture, apply, split and inspect WIM files");
  group->require_subcommand(1);

  struct Arguments {
    std::string folder, file, compress = "lzx", parts, password;
    unsigned partSize = 0;
    unsigned index = 1;
  };
  auto args = std::make_shared<Arguments>();

  CLI::App* capture = group->add_subcommand("capture", "Capture a folder into a new WIM file");
  capture->add_option("FOLDER", args->folder, "Folder to capture")->required();
  capture->add_option("FILE", args->file, "WIM file to create")->required();
  capture->add_option("--compress", args->compress, "lzx, xpress or none")
      ->check(CLI::IsMember({"lzx", "xpress", "none"}));
  capture->callback([&context, args] {
    const DWORD type = args->compress == "none"     ? wim::kCompressNone
                       : args->compress == "xpress" ? wim::kCompressXpress
                                                    : wim::kCompressLzx;
    context.exitCode = Capture(args->folder, args->file, type);
  });

  CLI::App* apply = group->add_subcommand("apply", "Apply an image of a WIM file to a folder");
  apply->add_option("FILE", args->file, "WIM file (the first part of a split set)")->required();
  apply->add_option("FOLDER", args->folder, "Target folder")->required();
  apply->add_option("--index", args->index, "Image to apply (1 by default)");
  apply->callback(
      [&context, args] { context.exitCode = Apply(args->file, args->folder, args->index); });

  CLI::App* split = group->add_subcommand("split", "Split a WIM file into parts");
  split->add_option("FILE", args->file, "WIM file to split")->required();
  split->add_option("PART_SIZE_MB", args->partSize, "Largest part, in MiB")->required();
  split->add_option("--output", args->parts, "Name of the first part (FILE with .swm)");
  split->callback(
      [&context, args] { context.exitCode = Split(args->file, args->partSize, args->parts); });

  CLI::App* info = group->add_subcommand("info", "Show what a WIM file holds");
  info->add_option("FILE", args->file, "WIM file")->required();
  info->callback([&context, args] { context.exitCode = Info(args->file); });

  CLI::App* password = group->add_subcommand("password", "Set or read the password of a WIM file");
  password->require_subcommand(1);
  CLI::App* set = password->add_subcommand("set", "Store a password in the WIM header");
  set->add_option("FILE", args->file, "WIM file")->required();
  set->add_option("PASSWORD", args->password, "Password (16 characters are kept)")->required();
  set->callback([&context, args] { context.exitCode = SetPassword(args->file, args->password); });
  CLI::App* get = password->add_subcommand("get", "Print the password stored in the WIM header");
  get->add_option("FILE", args->file, "WIM file")->required();
  get->callback([&context, args] { context.exitCode = GetPassword(args->file); });
}

}  // namespace vantrel_cli
