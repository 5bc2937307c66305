// `vantrel inp ...`: create .INP archives from folders and files, add one file, list,
// extract and describe them. Long work shows a progress bar; Ctrl-C stops between
// entries. Failures go to stderr with their code, its meaning and the file involved.
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "error_text.h"
#include "exit_status.h"
#include "inp_archive.h"
#include "inp_create.h"
#include "output_format.h"
#include "platform/case_fold.h"
#include "platform/clock.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "progress_bar.h"
#include "size_option.h"
#include "vantrel/vantrel.h"

namespace vantrel_cli {

namespace {

namespace os = orv::os;
using orv::WString;
using os::FromUtf8;
using os::ToUtf8;

constexpr DWORD kNoMoreItems = 259;
constexpr size_t kNameLength = 1100;

// Opens the archive for reading, or says why it cannot be.
bool OpenToRead(Archive& archive, const std::string& path, const char* doing) {
  if (!archive) {
    PrintError(std::string(doing) + ": no archive object", ORV_ERROR_NOT_SUPPORTED);
    return false;
  }
  if (archive->Open(FromUtf8(path).c_str(), 1, 0)) return true;
  PrintError(std::string(doing) + ": cannot open", archive->GetLastErrorCode(), path);
  return false;
}

// An entry name as the archive keeps it: `/` and `\` both separate names, and no
// separator leads or trails.
WString EntryName(const std::string& text) {
  WString name = FromUtf8(text);
  for (orv::Char& c : name)
    if (c == '/') c = '\\';
  const size_t first = name.find_first_not_of('\\');
  if (first == WString::npos) return WString();
  return name.substr(first, name.find_last_not_of('\\') - first + 1);
}

WString CurrentName(const Archive& archive) {
  orv::Char name[kNameLength] = {};
  archive->GetEntryName(name, kNameLength);
  return name;
}

// The entry itself, or something inside it when it is a folder.
bool Selected(const WString& entry, const WString& wanted) {
  if (wanted.empty()) return true;
  if (entry.size() < wanted.size()) return false;
  if (os::CompareNoCase(orv::WStringView(entry).substr(0, wanted.size()), wanted) != 0) return false;
  return entry.size() == wanted.size() || entry[wanted.size()] == '\\';
}

int Add(const std::string& archivePath, const std::string& source, const std::string& name) {
  const WString path = FromUtf8(archivePath);
  Archive archive;
  if (!OpenToRead(archive, archivePath, "inp add")) return kExitFailure;
  const int version = static_cast<int>(archive->GetArchiveType());
  archive->Close();
  if (!archive->Open(path.c_str(), 0, version)) {
    PrintError("inp add: cannot open", archive->GetLastErrorCode(), archivePath);
    return kExitFailure;
  }
  const bool added = archive->AddFile(FromUtf8(source).c_str(), EntryName(name).c_str(), nullptr, 0, nullptr);
  const DWORD code = archive->GetLastErrorCode();
  if (!archive->Close()) {
    PrintError("inp add: cannot write", archive->GetLastErrorCode(), archivePath);
    return kExitFailure;
  }
  if (added) return kExitSuccess;
  // 1920 is the archive's own answer: its last part file is a link, not written through.
  if (code == orv::err::kCantAccessFile)
    PrintError("inp add: cannot append, the last part file of the archive is a link", code,
               archivePath);
  else
    PrintError("inp add: cannot add", code, source);
  return kExitFailure;
}

uint64_t FileTimeOf(const ORVFILETIME& time) {
  return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

std::string Hex8(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", unsigned(value));
  return text;
}

int List(std::FILE* out, const std::string& archivePath, OutputFormat format) {
  Archive archive;
  if (!OpenToRead(archive, archivePath, "inp list")) return kExitFailure;
  if (format == OutputFormat::kText)
    std::fprintf(out, "%14s  %-8s  %-20s  %s\n", "size", "attribs", "last write (UTC)", "name");
  std::unique_ptr<JsonWriter> json;
  if (format == OutputFormat::kJson) {
    json = std::make_unique<JsonWriter>(out);
    json->BeginArray();
  }
  while (archive->NextEntry(1)) {
    const std::string name = ToUtf8(CurrentName(archive));
    const ORVFILEATTRIBUTEDATA attributes = archive->GetEntryAttributes();
    const uint64_t written = FileTimeOf(attributes.ftLastWriteTime);
    const uint64_t size = archive->GetEntrySize();
    if (format == OutputFormat::kTsv) {
      PrintTsvLine(out, {name, std::to_string(size), Hex8(attributes.dwFileAttributes), std::to_string(written)});
    } else if (json) {
      json->BeginObject();
      json->String("name", name);
      json->Number("size", size);
      json->Number("attributes", attributes.dwFileAttributes);
      json->Number("last_write_filetime", written);
      json->EndObject();
    } else {
      os::CalendarTime when{};
      char date[64] = "-";
      if (os::FileTimeToCalendar(written, when))
        std::snprintf(date, sizeof date, "%04u-%02u-%02u %02u:%02u:%02u", when.year, when.month,
                      when.day, when.hour, when.minute, when.second);
      std::fprintf(out, "%14" PRIu64 "  %08X  %-20s  %s\n", size, unsigned(attributes.dwFileAttributes),
                   date, name.c_str());
    }
  }
  if (json) json->EndArray();
  const DWORD end = archive->GetLastErrorCode();
  archive->Close();
  if (end == kNoMoreItems) return kExitSuccess;
  PrintError("inp list: cannot read", end, archivePath);
  return kExitFailure;
}

int Extract(const std::string& archivePath, const std::string& target, const std::string& wantedText) {
  const WString wanted = EntryName(wantedText);
  Archive archive;
  if (!OpenToRead(archive, archivePath, "inp extract")) return kExitFailure;
  uint64_t total = 0, done = 0;
  size_t matches = 0;
  while (archive->NextEntry(1)) {
    if (!Selected(CurrentName(archive), wanted)) continue;
    total += archive->GetEntrySize();
    ++matches;
  }
  archive->Close();
  if (matches == 0) {
    std::fprintf(stderr, "vantrel: inp extract: %s holds no entry named %s\n", archivePath.c_str(),
                 wantedText.c_str());
    return kExitFailure;
  }
  if (!OpenToRead(archive, archivePath, "inp extract")) return kExitFailure;
  const WString folder = FromUtf8(target);
  ProgressBar bar("extract");
  bar.OnMessage(ORV_MSG_TOTAL_AMOUNT, static_cast<DWORD>(total), static_cast<DWORD>(total >> 32));
  size_t failed = 0;
  int status = kExitSuccess;
  for (; archive->NextEntry(0); archive->NextEntry(1)) {
    const WString name = CurrentName(archive);
    if (!Selected(name, wanted)) continue;
    if (CancelRequested()) {
      EndProgressLine();
      std::fprintf(stderr, "vantrel: inp extract: cancelled\n");
      status = kExitCancelled;
      break;
    }
    // Version 1 archives keep the image password file unless asked: the flag asks.
    if (!archive->ExtractCurrent(folder.c_str(), 1)) {
      const DWORD error = archive->GetLastErrorCode();
      PrintError("inp extract: cannot extract", error, ToUtf8(name));
      ++failed;
      if (EndsTheWork(error)) {
        status = kExitFailure;
        break;
      }
    }
    done += archive->GetEntrySize();
    bar.OnMessage(ORV_MSG_DONE_AMOUNT, static_cast<DWORD>(done), static_cast<DWORD>(done >> 32));
  }
  bar.Finish();
  archive->Close();
  if (status != kExitSuccess || failed == 0) return status;
  std::fprintf(stderr, "vantrel: inp extract: %zu of %zu entries could not be extracted\n", failed, matches);
  return kExitPartial;
}

// The role of each file of an archive in `inp info`.
const char* FileRole(size_t index, bool hasMain) {
  if (index == 0 && hasMain) return "main file";
  return index == (hasMain ? 1u : 0u) ? "index file" : "part file";
}

int Info(std::FILE* out, const std::string& archivePath, OutputFormat format) {
  const WString path = FromUtf8(archivePath);
  Archive archive;
  if (!OpenToRead(archive, archivePath, "inp info")) return kExitFailure;
  const DWORD type = archive->GetArchiveType();
  uint64_t entries = 0, bytes = 0;
  while (archive->NextEntry(1)) {
    ++entries;
    bytes += archive->GetEntrySize();
  }
  archive->Close();
  const std::vector<WString> files = ExistingArchiveFiles(path);
  const bool hasMain = !files.empty() && files.front() == path;
  std::vector<uint64_t> sizes;
  for (const WString& file : files) {
    os::FileInfo info;
    sizes.push_back(os::GetInfo(file, info) == 0 ? info.size : 0);
  }
  if (format == OutputFormat::kJson) {
    JsonWriter json(out);
    json.BeginObject();
    json.String("archive", archivePath);
    json.Number("type", type);
    json.Number("version", type);
    json.Number("entries", entries);
    json.Number("content_bytes", bytes);
    json.BeginArray("files");
    for (size_t i = 0; i < files.size(); ++i) {
      json.BeginObject();
      json.String("role", FileRole(i, hasMain));
      json.String("path", ToUtf8(files[i]));
      json.Number("size", sizes[i]);
      json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    return kExitSuccess;
  }
  if (format == OutputFormat::kTsv) {
    PrintTsvLine(out, {"archive", archivePath});
    PrintTsvLine(out, {"type", std::to_string(type)});
    PrintTsvLine(out, {"version", std::to_string(type)});
    PrintTsvLine(out, {"entries", std::to_string(entries)});
    PrintTsvLine(out, {"content bytes", std::to_string(bytes)});
    for (size_t i = 0; i < files.size(); ++i)
      PrintTsvLine(out, {FileRole(i, hasMain), ToUtf8(files[i]), std::to_string(sizes[i])});
    return kExitSuccess;
  }
  std::fprintf(out, "archive: %s\ntype: %u\nversion: %u\nentries: %" PRIu64 "\ncontent bytes: %" PRIu64 "\n",
               archivePath.c_str(), unsigned(type), unsigned(type), entries, bytes);
  for (size_t i = 0; i < files.size(); ++i)
    std::fprintf(out, "%s: %s %" PRIu64 "\n", FileRole(i, hasMain), ToUtf8(files[i]).c_str(), sizes[i]);
  return kExitSuccess;
}

// Options of `inp create` that the chosen version has no use for are refused.
void RefuseOptionsOutsideTheirVersion(const CLI::App& command, const CreateRequest& request) {
  const bool split = request.version == 5 || request.version == 6;
  if (split && command.count("--compression") > 0)
    throw CLI::ValidationError("--compression", "applies to versions 1 and 2 only, not to version " +
                                                    std::to_string(request.version));
  if (!split && command.count("--split-size") > 0)
    throw CLI::ValidationError("--split-size", "applies to versions 5 and 6 only, not to version " +
                                                   std::to_string(request.version));
  if (command.count("--split-size") > 0 && request.splitSize == 0)
    throw CLI::ValidationError("--split-size", "a part cannot be empty");
}

}  // namespace

void AddInpCommands(CLI::App& app, CommandContext& context) {
  CLI::App* inp = app.add_subcommand("inp", "Create, list and extract .INP archives");
  inp->require_subcommand(1);

  auto create = std::make_shared<CreateRequest>();
  CLI::App* createCommand = inp->add_subcommand(
      "create", "Create a new archive from folders and files (one folder: the names inside it; "
                "several sources: each under its own name)");
  createCommand->add_option("archive", create->archive, "The main file of the archive")->required();
  createCommand->add_option("--version", create->version, "Archive version (5 by default)")
      ->check(CLI::IsMember({1, 2, 5, 6}));
  AddSizeOption(*createCommand, "--split-size", create->splitSize, "Part file size (versions 5, 6)");
  createCommand->add_option("--compression", create->compression,
                            "Compression (versions 1, 2): -1 stored, 0 fast, 1 default, 2 best")
      ->check(CLI::IsMember({-1, 0, 1, 2}));
  createCommand->add_flag("--force", create->force, "Replace an archive that exists, with all its part files");
  createCommand->add_flag("--keep-partial", create->keepPartial,
                          "Keep what a failed or cancelled create wrote (removed otherwise)");
  createCommand->add_option("sources", create->sources, "Folders (whole trees) and files")->required();
  createCommand->callback([create, createCommand, &context] {
    RefuseOptionsOutsideTheirVersion(*createCommand, *create);
    context.exitCode = CreateArchive(context.out, *create);
  });

  auto add = std::make_shared<std::vector<std::string>>(3);
  CLI::App* addCommand = inp->add_subcommand("add", "Append one file to an archive under a name");
  addCommand->add_option("archive", (*add)[0])->required();
  addCommand->add_option("source", (*add)[1])->required();
  addCommand->add_option("name", (*add)[2], "Entry name (`/` or `\\` between folder names)")->required();
  addCommand->callback([add, &context] { context.exitCode = Add((*add)[0], (*add)[1], (*add)[2]); });

  auto list = std::make_shared<std::pair<std::string, OutputFormat>>();
  CLI::App* listCommand = inp->add_subcommand(
      "list", "List the entries of an archive (--tsv: name, size, attributes in hex, last-write file time)");
  listCommand->add_option("archive", list->first)->required();
  AddOutputFormatOptions(*listCommand, list->second);
  listCommand->callback([list, &context] { context.exitCode = List(context.out, list->first, list->second); });

  auto extract = std::make_shared<std::vector<std::string>>(3);
  CLI::App* extractCommand = inp->add_subcommand(
      "extract", "Extract all entries, or one entry or folder with its content; files that exist "
                 "in the target are replaced");
  extractCommand->add_option("archive", (*extract)[0])->required();
  extractCommand->add_option("target", (*extract)[1])->required();
  extractCommand->add_option("name", (*extract)[2], "Entry or folder (`/` or `\\` between names)");
  extractCommand->callback([extract, &context] {
    context.exitCode = Extract((*extract)[0], (*extract)[1], (*extract)[2]);
  });

  auto info = std::make_shared<std::pair<std::string, OutputFormat>>();
  CLI::App* infoCommand = inp->add_subcommand("info", "Type, version, entries and files of an archive");
  infoCommand->add_option("archive", info->first)->required();
  AddOutputFormatOptions(*infoCommand, info->second);
  infoCommand->callback([info, &context] { context.exitCode = Info(context.out, info->first, info->second); });
}

}  // namespace vantrel_cli
