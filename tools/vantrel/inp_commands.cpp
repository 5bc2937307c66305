// `vantrel inp ...`: create .INP archives from folders and files, add one file, list,
// extract and describe them. Long work shows a progress bar; Ctrl-C stops between
// entries. Failures go to stderr with their Windows code; the exit status is then 1.
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "archive/part_names.h"
#include "archive/source_metadata.h"
#include "commands.h"
#include "platform/clock.h"
#include "platform/dir_search.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/process.h"
#include "progress_bar.h"
#include "vantrel/vantrel.h"

namespace vantrel_cli {

namespace {

namespace os = orv::os;
using orv::WString;
using os::FromUtf8;
using os::ToUtf8;

// One archive object for the length of a command.
class Archive {
 public:
  Archive() : morlet_(GetMorletInterface()) {}
  ~Archive() {
    if (morlet_) morlet_->Release();
  }
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;
  IOrvMorlet* operator->() const { return morlet_; }
  explicit operator bool() const { return morlet_ != nullptr; }

 private:
  IOrvMorlet* morlet_;
};

int Report(const char* what, const std::string& name, DWORD code) {
  std::fprintf(stderr, "vantrel: %s %s failed: error %u (0x%08X)\n", what, name.c_str(),
               unsigned(code), unsigned(code));
  return 1;
}

int Cancelled() {
  std::fprintf(stderr, "vantrel: cancelled: error %u (0x%08X)\n", unsigned(ORV_ERROR_CANCELLED),
               unsigned(ORV_ERROR_CANCELLED));
  return 1;
}

// One item to add, with the attribute block its folder listing gave (so the writer
// need not ask the file system again).
struct Source {
  WString path;
  WString name;
  ORVFILEATTRIBUTEDATA attributes{};
};

uint64_t SizeOf(const ORVFILEATTRIBUTEDATA& block) {
  return (uint64_t{block.nFileSizeHigh} << 32) | block.nFileSizeLow;
}

// Every item below `folder`, folders before their content; links are listed, not entered.
// A folder or an entry that cannot be read is reported and counted in `unreadable`; the
// rest is still collected.
void CollectTree(const WString& folder, const WString& prefix, bool withFolders,
                 std::vector<Source>& items, size_t& unreadable) {
  os::DirSearch search;
  os::FindData data;
  std::vector<std::pair<WString, WString>> folders;
  DWORD error = search.First(folder + ORV_T("\\*.*"), data);
  if (error != 0 && error != orv::err::kFileNotFound) {
    Report("reading", ToUtf8(folder), error);
    ++unreadable;
  }
  for (const os::UnreadableEntry& entry : search.Unreadable()) {
    Report("reading", ToUtf8(folder + ORV_T("\\") + entry.name), entry.error);
    ++unreadable;
  }
  for (; error == 0; error = search.Next(data)) {
    if (data.name == ORV_T(".") || data.name == ORV_T("..")) continue;
    const WString path = folder + ORV_T("\\") + data.name;
    const WString name = prefix.empty() ? data.name : prefix + ORV_T("\\") + data.name;
    const bool isFolder = data.attributes & os::kAttrDirectory;
    if (!isFolder || withFolders)
      items.push_back({path, name, orv::archive::AttributeBlock(data.attributes, data.times, isFolder ? 0 : data.size)});
    if (isFolder && !(data.attributes & os::kAttrReparsePoint)) folders.emplace_back(path, name);
  }
  for (const auto& [path, name] : folders) CollectTree(path, name, withFolders, items, unreadable);
}

// A relative source named from the current directory, so that the files below it do
// not each make the library look the current directory up again.
WString FromCurrentDirectory(const WString& path) {
  const bool rooted = (!path.empty() && (path[0] == '\\' || path[0] == '/')) ||
                      (path.size() >= 2 && path[1] == ':');
  WString current;
  if (rooted || os::GetCurrentDirectory(current) != 0) return path;
  if (!current.empty() && current.back() != '\\' && current.back() != '/') current += ORV_T("\\");
  return current + path;
}

WString LastName(const WString& path) {
  WString trimmed = path;
  while (trimmed.size() > 1 && (trimmed.back() == '\\' || trimmed.back() == '/')) trimmed.pop_back();
  const size_t slash = trimmed.find_last_of(ORV_T("\\/"));
  return slash == WString::npos ? trimmed : trimmed.substr(slash + 1);
}

int Create(std::FILE* out, const std::string& archivePath, int version, int64_t splitSize,
           int64_t compression, const std::vector<std::string>& sources) {
  const WString path = FromUtf8(archivePath);
  std::vector<Source> items;
  size_t unreadable = 0;
  for (const std::string& source : sources) {
    const WString sourcePath = FromCurrentDirectory(FromUtf8(source));
    os::FileInfo info;
    if (DWORD error = os::GetInfo(sourcePath, info)) return Report("reading", source, error);
    if ((info.attributes & os::kAttrDirectory) && !(info.attributes & os::kAttrReparsePoint))
      CollectTree(sourcePath, WString(), version != 1, items, unreadable);
    else
      items.push_back({sourcePath, LastName(sourcePath), orv::archive::AttributeBlock(info.attributes, info.times, info.size)});
  }
  DWORD existing;
  if (os::GetAttributes(path, existing) == 0) os::DeleteFile(path);  // a new archive
  Archive archive;
  if (!archive) return Report("creating", archivePath, ORV_ERROR_NOT_SUPPORTED);
  if (!archive->Open(path.c_str(), 0, version))
    return Report("creating", archivePath, archive->GetLastErrorCode());
  if (splitSize > 0) archive->SetSplitSize(static_cast<ULONGLONG>(splitSize));
  if (compression >= -1) archive->SetCompression(static_cast<DWORD>(compression));
  uint64_t total = 0, done = 0;
  for (const Source& item : items) total += SizeOf(item.attributes);
  ProgressBar bar("create", stderr);
  bar.OnMessage(ORV_MSG_TOTAL_AMOUNT, static_cast<DWORD>(total), static_cast<DWORD>(total >> 32));
  int status = unreadable ? 1 : 0;
  // Versions 5 and 6 store a security descriptor only when given one.
  const bool withDescriptors = version == 5 || version == 6;
  std::vector<uint8_t> descriptor;
  for (const Source& item : items) {
    if (CancelRequested()) {
      status = Cancelled();
      break;
    }
    if (withDescriptors) descriptor = orv::archive::SourceDescriptor(item.path);
    const void* given = descriptor.empty() ? nullptr : descriptor.data();
    if (!archive->AddFile(item.path.c_str(), item.name.c_str(), given,
                          static_cast<DWORD>(descriptor.size()), &item.attributes))
      status = Report("adding", ToUtf8(item.name), archive->GetLastErrorCode());
    done += SizeOf(item.attributes);
    bar.OnMessage(ORV_MSG_DONE_AMOUNT, static_cast<DWORD>(done), static_cast<DWORD>(done >> 32));
  }
  bar.Finish();
  if (!archive->Close()) return Report("writing", archivePath, archive->GetLastErrorCode());
  if (status == 0) std::fprintf(out, "created %s: %zu entries\n", archivePath.c_str(), items.size());
  if (unreadable)
    std::fprintf(stderr, "vantrel: %s holds %zu entries; %zu could not be read and are missing\n",
                 archivePath.c_str(), items.size(), unreadable);
  return status;
}

int Add(const std::string& archivePath, const std::string& source, const std::string& name) {
  const WString path = FromUtf8(archivePath);
  Archive archive;
  if (!archive) return Report("opening", archivePath, ORV_ERROR_NOT_SUPPORTED);
  if (!archive->Open(path.c_str(), 1, 0)) return Report("opening", archivePath, archive->GetLastErrorCode());
  const int version = static_cast<int>(archive->GetArchiveType());
  archive->Close();
  if (!archive->Open(path.c_str(), 0, version))
    return Report("opening", archivePath, archive->GetLastErrorCode());
  const bool added = archive->AddFile(FromUtf8(source).c_str(), FromUtf8(name).c_str(), nullptr, 0, nullptr);
  const DWORD code = archive->GetLastErrorCode();
  if (!archive->Close()) return Report("writing", archivePath, archive->GetLastErrorCode());
  return added ? 0 : Report("adding", source, code);
}

uint64_t FileTimeOf(const ORVFILETIME& time) {
  return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

int List(std::FILE* out, const std::string& archivePath, bool tsv) {
  Archive archive;
  if (!archive) return Report("opening", archivePath, ORV_ERROR_NOT_SUPPORTED);
  if (!archive->Open(FromUtf8(archivePath).c_str(), 1, 0))
    return Report("opening", archivePath, archive->GetLastErrorCode());
  if (!tsv) std::fprintf(out, "%14s  %-8s  %-20s  %s\n", "size", "attribs", "last write (UTC)", "name");
  orv::Char name[1100];
  while (archive->NextEntry(1)) {
    archive->GetEntryName(name, 1100);
    const ORVFILEATTRIBUTEDATA attributes = archive->GetEntryAttributes();
    const uint64_t written = FileTimeOf(attributes.ftLastWriteTime);
    if (tsv) {
      std::fprintf(out, "%s\t%" PRIu64 "\t%08X\t%" PRIu64 "\n", ToUtf8(name).c_str(),
                  static_cast<uint64_t>(archive->GetEntrySize()),
                  unsigned(attributes.dwFileAttributes), written);
      continue;
    }
    os::CalendarTime when{};
    char date[64] = "-";
    if (os::FileTimeToCalendar(written, when))
      std::snprintf(date, sizeof date, "%04u-%02u-%02u %02u:%02u:%02u", when.year, when.month,
                    when.day, when.hour, when.minute, when.second);
    std::fprintf(out, "%14" PRIu64 "  %08X  %-20s  %s\n", static_cast<uint64_t>(archive->GetEntrySize()),
                unsigned(attributes.dwFileAttributes), date, ToUtf8(name).c_str());
  }
  const DWORD end = archive->GetLastErrorCode();
  archive->Close();
  return end == 259 ? 0 : Report("listing", archivePath, end);
}

int Extract(const std::string& archivePath, const std::string& target, const std::string& name) {
  Archive archive;
  if (!archive) return Report("opening", archivePath, ORV_ERROR_NOT_SUPPORTED);
  if (!archive->Open(FromUtf8(archivePath).c_str(), 1, 0))
    return Report("opening", archivePath, archive->GetLastErrorCode());
  const WString folder = FromUtf8(target);
  int status = 0;
  if (!name.empty()) {
    if (!archive->ExtractFile(FromUtf8(name).c_str(), folder.c_str()))
      status = Report("extracting", name, archive->GetLastErrorCode());
    archive->Close();
    return status;
  }
  uint64_t total = 0, done = 0;
  while (archive->NextEntry(1)) total += archive->GetEntrySize();
  archive->Close();
  if (!archive->Open(FromUtf8(archivePath).c_str(), 1, 0))
    return Report("opening", archivePath, archive->GetLastErrorCode());
  ProgressBar bar("extract", stderr);
  bar.OnMessage(ORV_MSG_TOTAL_AMOUNT, static_cast<DWORD>(total), static_cast<DWORD>(total >> 32));
  orv::Char entry[1100];
  while (archive->NextEntry(0)) {
    if (CancelRequested()) {
      status = Cancelled();
      break;
    }
    // Version 1 archives keep the image password file unless asked: the flag asks.
    if (!archive->ExtractCurrent(folder.c_str(), 1)) {
      archive->GetEntryName(entry, 1100);
      status = Report("extracting", ToUtf8(entry), archive->GetLastErrorCode());
    }
    done += archive->GetEntrySize();
    bar.OnMessage(ORV_MSG_DONE_AMOUNT, static_cast<DWORD>(done), static_cast<DWORD>(done >> 32));
    archive->NextEntry(1);
  }
  bar.Finish();
  archive->Close();
  return status;
}

int Info(std::FILE* out, const std::string& archivePath) {
  const WString path = FromUtf8(archivePath);
  Archive archive;
  if (!archive) return Report("opening", archivePath, ORV_ERROR_NOT_SUPPORTED);
  if (!archive->Open(path.c_str(), 1, 0)) return Report("opening", archivePath, archive->GetLastErrorCode());
  const DWORD type = archive->GetArchiveType();
  uint64_t entries = 0, bytes = 0;
  while (archive->NextEntry(1)) {
    ++entries;
    bytes += archive->GetEntrySize();
  }
  archive->Close();
  os::FileInfo info;
  std::fprintf(out, "archive: %s\ntype: %u\nversion: %u\nentries: %" PRIu64 "\ncontent bytes: %" PRIu64 "\n",
              archivePath.c_str(), unsigned(type), unsigned(type), entries, bytes);
  std::fprintf(out, "main file: %s %" PRIu64 "\n", archivePath.c_str(),
              os::GetInfo(path, info) == 0 ? info.size : 0);
  if (type == 5 || type == 6) {
    for (DWORD part = 0;; ++part) {
      const WString name = orv::archive::PartFileName(path, part);
      if (os::GetInfo(name, info) != 0) break;
      std::fprintf(out, "%s: %s %" PRIu64 "\n", part == 0 ? "index file" : "part file", ToUtf8(name).c_str(),
                  info.size);
    }
  }
  return 0;
}

}  // namespace

void AddInpCommands(CLI::App& app, CommandContext& context) {
  CLI::App* inp = app.add_subcommand("inp", "Create, list and extract .INP archives");
  inp->require_subcommand(1);

  struct CreateOptions {
    std::string archive;
    int version = 5;
    int64_t splitSize = 0;
    int64_t compression = -2;
    std::vector<std::string> sources;
  };
  auto create = std::make_shared<CreateOptions>();
  CLI::App* createCommand = inp->add_subcommand("create", "Create a new archive from folders and files");
  createCommand->add_option("archive", create->archive, "The main file of the archive")->required();
  createCommand->add_option("--version", create->version, "Archive version")
      ->check(CLI::IsMember({1, 2, 5, 6}));
  createCommand->add_option("--split-size", create->splitSize, "Part file size in bytes (versions 5, 6)");
  createCommand->add_option("--compression", create->compression,
                            "Compression option (versions 1, 2): -1 stored, 0 fast, 1 default, 2 best");
  createCommand->add_option("sources", create->sources, "Folders (whole trees) and files")->required();
  createCommand->callback([create, &context] {
    context.exitCode = Create(context.out, create->archive, create->version, create->splitSize,
                              create->compression, create->sources);
  });

  auto add = std::make_shared<std::vector<std::string>>(3);
  CLI::App* addCommand = inp->add_subcommand("add", "Append one file to an archive under a name");
  addCommand->add_option("archive", (*add)[0])->required();
  addCommand->add_option("source", (*add)[1])->required();
  addCommand->add_option("name", (*add)[2])->required();
  addCommand->callback([add, &context] { context.exitCode = Add((*add)[0], (*add)[1], (*add)[2]); });

  auto list = std::make_shared<std::pair<std::string, bool>>();
  CLI::App* listCommand = inp->add_subcommand("list", "List the entries of an archive");
  listCommand->add_option("archive", list->first)->required();
  listCommand->add_flag("--tsv", list->second, "name, size, attributes, last-write file time");
  listCommand->callback([list, &context] { context.exitCode = List(context.out, list->first, list->second); });

  auto extract = std::make_shared<std::vector<std::string>>(3);
  CLI::App* extractCommand = inp->add_subcommand("extract", "Extract all entries, or one (versions 5, 6)");
  extractCommand->add_option("archive", (*extract)[0])->required();
  extractCommand->add_option("target", (*extract)[1])->required();
  extractCommand->add_option("name", (*extract)[2]);
  extractCommand->callback([extract, &context] {
    context.exitCode = Extract((*extract)[0], (*extract)[1], (*extract)[2]);
  });

  auto info = std::make_shared<std::string>();
  CLI::App* infoCommand = inp->add_subcommand("info", "Type, version, entries and files of an archive");
  infoCommand->add_option("archive", *info)->required();
  infoCommand->callback([info, &context] { context.exitCode = Info(context.out, *info); });
}

}  // namespace vantrel_cli
