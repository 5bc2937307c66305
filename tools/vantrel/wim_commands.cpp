// `vantrel wim ...`: capture a folder into a WIM file, apply an image, split a WIM into
// parts, show what a WIM holds, and set or read the password in its header. Each long
// step shows a progress bar fed by the engine's messages; Ctrl-C aborts it.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "commands.h"
#include "created_output.h"
#include "error_text.h"
#include "exit_status.h"
#include "output_format.h"
#include "platform/dir_search.h"
#include "platform/encoding.h"
#include "platform/local_memory.h"
#include "size_option.h"
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

// Says why the step failed, naming the file; the exit status that follows from it.
int Failed(const Binding& wim, const std::string& doing, const std::string& file) {
  const DWORD code = wim->GetLastErrorCode();
  EndProgressLine();
  if (code == kCancelled) {
    std::fprintf(stderr, "vantrel: %s: cancelled: %s\n", doing.c_str(), file.c_str());
    return kExitCancelled;
  }
  if (code == ORV_ERROR_ARG1)
    std::fprintf(stderr, "vantrel: %s: no imaging engine on this system: %s\n", doing.c_str(), file.c_str());
  else
    PrintError(doing, code, file);
  return kExitFailure;
}

int NoBinding() {
  std::fprintf(stderr, "vantrel: cannot create the WIM binding\n");
  return kExitFailure;
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

struct CaptureRequest {
  std::string folder, file;
  DWORD compression = wim::kCompressLzx;
  bool force = false;        // replace a WIM file that exists
  bool keepPartial = false;  // leave the file of a failed or cancelled capture
};

// Entries the engine skipped make the result partial; each was named as it went.
int Skipped(const char* command, const WimMessageTarget& target) {
  if (target.skipped == 0) return kExitSuccess;
  std::fprintf(stderr, "vantrel: %s: %u entries were skipped\n", command, target.skipped);
  return kExitPartial;
}

int Capture(const CaptureRequest& request) {
  const orv::WString path = FromUtf8(request.file);
  // A WIM file is created afresh (never through a link left in its place) and alone.
  const CreatedOutput output("wim capture", "WIM file " + request.file, [path] {
    return EntryExists(path) ? std::vector<orv::WString>{path} : std::vector<orv::WString>{};
  });
  if (const int status = output.MakeRoom(request.force)) return status;
  Binding wim;
  if (!wim) return NoBinding();
  if (!wim->WIMCreateFile(path.c_str(), wim::kGenericWrite, wim::kCreateNew, 0, request.compression, nullptr)) {
    const int status = Failed(wim, "wim capture: cannot create", request.file);
    output.Unfinished(request.keepPartial);
    return status;
  }
  ProgressBar bar("capture");
  WimMessageTarget target{&bar};
  wim->WIMRegisterMessageCallback(nullptr, WimMessageRoutine, &target);
  HANDLE image = wim->WIMCaptureImage(nullptr, FromUtf8(request.folder).c_str(), 0);
  bar.Finish();
  int status = kExitSuccess;
  if (image == nullptr) {
    status = Failed(wim, "wim capture: cannot capture", request.folder);
  } else {
    wim->WIMCloseHandle(image);
    if (!wim->WIMCloseHandle(nullptr)) status = Failed(wim, "wim capture: cannot write", request.file);
  }
  if (status != kExitSuccess) {
    wim->WIMCloseHandle(nullptr);  // lets go of the file so that it can be removed
    output.Unfinished(request.keepPartial);
    return status;
  }
  std::printf("captured %s into %s (%s)\n", request.folder.c_str(), request.file.c_str(),
              CompressionName(request.compression));
  return Skipped("wim capture", target);
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
    return Failed(wim, "wim apply: cannot open", file);
  wim::WimInfo info{};
  if (wim->WIMGetAttributes(nullptr, &info, sizeof info) && info.totalParts > 1)
    ReferenceParts(wim, file);
  ProgressBar bar("apply");
  WimMessageTarget target{&bar};
  wim->WIMRegisterMessageCallback(nullptr, WimMessageRoutine, &target);
  HANDLE image = wim->WIMLoadImage(nullptr, index);
  if (image == nullptr) return Failed(wim, "wim apply: cannot load image " + std::to_string(index) + " of", file);
  const BOOL applied = wim->WIMApplyImage(image, FromUtf8(folder).c_str(), 0);
  bar.Finish();
  const int result = applied ? kExitSuccess : Failed(wim, "wim apply: cannot apply to", folder);
  wim->WIMCloseHandle(image);
  if (!applied) return result;
  std::printf("applied image %u of %s to %s\n", unsigned(index), file.c_str(), folder.c_str());
  return Skipped("wim apply", target);
}

int Split(const std::string& file, uint64_t partSize, std::string parts) {
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
    return Failed(wim, "wim split: cannot open", file);
  ProgressBar bar("split");
  WimMessageTarget target{&bar};
  wim->WIMRegisterMessageCallback(nullptr, WimMessageRoutine, &target);
  LONGLONG size = static_cast<LONGLONG>(partSize);
  const BOOL split = wim->WIMSplitFile(nullptr, FromUtf8(parts).c_str(), &size, 0);
  bar.Finish();
  if (!split) return Failed(wim, "wim split: cannot split into", parts);
  std::printf("split %s into parts of at most %llu bytes named like %s\n", file.c_str(),
              static_cast<unsigned long long>(partSize), parts.c_str());
  return kExitSuccess;
}

std::string PasswordText(const orv::Char (&password)[16]) {
  size_t length = 0;
  while (length < 16 && password[length] != 0) ++length;
  return orv::os::ToUtf8(orv::WStringView(password, length));
}

// What `wim info` shows: a field's key for --tsv and --json, its label for people,
// and its value (a number unless marked as text).
struct InfoField {
  const char* key;
  const char* label;
  std::string value;
  bool text = false;
};

void PrintInfo(const std::vector<InfoField>& fields, OutputFormat format) {
  if (format == OutputFormat::kJson) {
    JsonWriter json(stdout);
    json.BeginObject();
    for (const InfoField& field : fields) {
      if (field.text)
        json.String(field.key, field.value);
      else
        json.Number(field.key, std::stoull(field.value));
    }
    json.EndObject();
    return;
  }
  for (const InfoField& field : fields) {
    if (format == OutputFormat::kTsv)
      PrintTsvLine(stdout, {field.key, field.value});
    else
      std::printf("%-13s %s\n", (std::string(field.label) + ":").c_str(), field.value.c_str());
  }
}

int Info(const std::string& file, OutputFormat format) {
  Binding wim;
  if (!wim) return NoBinding();
  const orv::WString path = FromUtf8(file);
  if (!wim->WIMCreateFile(path.c_str(), wim::kGenericRead, wim::kOpenExisting, 0, 0, nullptr))
    return Failed(wim, "wim info: cannot open", file);
  wim::WimInfo info{};
  if (!wim->WIMGetAttributes(nullptr, &info, sizeof info)) return Failed(wim, "wim info: cannot read the header of", file);
  std::vector<InfoField> fields = {
      {"file", "File", file, true},
      {"images", "Images", std::to_string(info.imageCount)},
      {"compression", "Compression", CompressionName(info.compressionType), true},
      {"part", "Part", std::to_string(info.partNumber)},
      {"parts", "Parts", std::to_string(info.totalParts)},
      {"boot_image", "Boot image", std::to_string(info.bootIndex)},
  };
  void* xml = nullptr;
  DWORD size = 0;
  if (wim->WIMGetImageInformation(nullptr, &xml, &size)) {
    const auto* text = static_cast<const orv::Char*>(xml);
    orv::WStringView view(text, size / sizeof(orv::Char));
    if (!view.empty() && view.front() == 0xFEFF) view.remove_prefix(1);
    fields.push_back({"information", "Information", orv::os::ToUtf8(view), true});
    orv::os::LocalRelease(xml);
  }
  wim->WIMCloseHandle(nullptr);
  orv::Char password[16];
  if (wim->GetPassword(path.c_str(), password))
    fields.push_back({"password", "Password", password[0] != 0 ? "set" : "none", true});
  PrintInfo(fields, format);
  return kExitSuccess;
}

int SetPassword(const std::string& file, const std::string& password) {
  Binding wim;
  if (!wim) return NoBinding();
  const orv::WString text = FromUtf8(password);
  if (!wim->SetPassword(FromUtf8(file).c_str(), text.c_str())) return Failed(wim, "wim password set", file);
  std::printf("password set%s\n",
              text.size() > 16 ? " (only its first 16 characters are kept)" : "");
  return kExitSuccess;
}

int GetPassword(const std::string& file) {
  Binding wim;
  if (!wim) return NoBinding();
  orv::Char password[16];
  if (!wim->GetPassword(FromUtf8(file).c_str(), password)) return Failed(wim, "wim password get", file);
  if (password[0] == 0)
    std::printf("no password\n");
  else
    std::printf("%s\n", PasswordText(password).c_str());
  return kExitSuccess;
}

}  // namespace

void AddWimCommands(CLI::App& app, CommandContext& context) {
  CLI::App* group = app.add_subcommand("wim", "Capture, apply, split and inspect WIM files");
  group->require_subcommand(1);

  struct Arguments {
    std::string folder, file, parts, password;
    uint64_t partSize = 0;
    unsigned index = 1;
    OutputFormat format = OutputFormat::kText;
  };
  auto args = std::make_shared<Arguments>();

  auto request = std::make_shared<CaptureRequest>();
  CLI::App* capture = group->add_subcommand("capture", "Capture a folder into a new WIM file");
  capture->add_option("FOLDER", request->folder, "Folder to capture")->required();
  capture->add_option("FILE", request->file, "WIM file to create")->required();
  capture->add_option("--compress", request->compression, "lzx (default), xpress or none")
      ->transform(CLI::CheckedTransformer(
          std::map<std::string, DWORD>{{"lzx", wim::kCompressLzx}, {"xpress", wim::kCompressXpress}, {"none", wim::kCompressNone}}));
  capture->add_flag("--force", request->force, "Replace a WIM file that exists");
  capture->add_flag("--keep-partial", request->keepPartial,
                    "Keep the file of a failed or cancelled capture (removed otherwise)");
  capture->callback([&context, request] { context.exitCode = Capture(*request); });

  CLI::App* apply = group->add_subcommand("apply", "Apply an image of a WIM file to a folder");
  apply->add_option("FILE", args->file, "WIM file (the first part of a split set)")->required();
  apply->add_option("FOLDER", args->folder, "Target folder")->required();
  apply->add_option("--index", args->index, "Image to apply (1 by default)");
  apply->callback(
      [&context, args] { context.exitCode = Apply(args->file, args->folder, args->index); });

  CLI::App* split = group->add_subcommand("split", "Split a WIM file into parts");
  split->add_option("FILE", args->file, "WIM file to split")->required();
  AddSizeOption(*split, "PART_SIZE", args->partSize, "Largest part")->required();
  split->add_option("--output", args->parts, "Name of the first part (FILE with .swm)");
  split->callback([&context, args] {
    if (args->partSize == 0) throw CLI::ValidationError("PART_SIZE", "a part cannot be empty");
    context.exitCode = Split(args->file, args->partSize, args->parts);
  });

  CLI::App* info = group->add_subcommand("info", "Show what a WIM file holds");
  info->add_option("FILE", args->file, "WIM file")->required();
  AddOutputFormatOptions(*info, args->format);
  info->callback([&context, args] { context.exitCode = Info(args->file, args->format); });

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
