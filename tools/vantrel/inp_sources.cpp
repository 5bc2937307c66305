#include "inp_sources.h"

#include <algorithm>
#include <cstdio>

#include "archive/source_metadata.h"
#include "error_text.h"
#include "exit_status.h"
#include "platform/case_fold.h"
#include "platform/dir_search.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/process.h"

namespace vantrel_cli {

namespace {

namespace os = orv::os;
using orv::WString;

const char* kDoing = "inp create: cannot read";

void CollectTree(const WString& folder, const WString& prefix, bool withFolders, SourceItems& collected) {
  os::DirSearch search;
  os::FindData data;
  std::vector<std::pair<WString, WString>> folders;
  DWORD error = search.First(folder + ORV_T("\\*.*"), data);
  if (error != 0 && error != orv::err::kFileNotFound) {
    PrintError(kDoing, error, os::ToUtf8(folder));
    ++collected.unreadable;
  }
  for (const os::UnreadableEntry& entry : search.Unreadable()) {
    PrintError(kDoing, entry.error, os::ToUtf8(folder + ORV_T("\\") + entry.name));
    ++collected.unreadable;
  }
  for (; error == 0; error = search.Next(data)) {
    if (data.name == ORV_T(".") || data.name == ORV_T("..")) continue;
    const WString path = folder + ORV_T("\\") + data.name;
    const WString name = prefix.empty() ? data.name : prefix + ORV_T("\\") + data.name;
    const bool isFolder = data.attributes & os::kAttrDirectory;
    if (!isFolder || withFolders)
      collected.items.push_back(
          {path, name, orv::archive::AttributeBlock(data.attributes, data.times, isFolder ? 0 : data.size)});
    if (isFolder && !(data.attributes & os::kAttrReparsePoint)) folders.emplace_back(path, name);
  }
  for (const auto& [path, name] : folders) CollectTree(path, name, withFolders, collected);
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

// A source's own name can head its entries unless it is "." or ".." or a root.
bool UsableTopName(const WString& name) {
  return !name.empty() && name != ORV_T(".") && name != ORV_T("..") &&
         name.find_first_of(ORV_T("\\/:")) == WString::npos;
}

// Bad usage, with both sources named, when two items would be stored under one name.
int RefuseCollisions(const std::vector<Source>& items) {
  std::vector<const Source*> sorted;
  for (const Source& item : items) sorted.push_back(&item);
  const auto before = [](const Source* a, const Source* b) { return os::CompareNoCase(a->name, b->name) < 0; };
  std::stable_sort(sorted.begin(), sorted.end(), before);
  for (size_t i = 1; i < sorted.size(); ++i) {
    if (os::CompareNoCase(sorted[i - 1]->name, sorted[i]->name) != 0) continue;
    std::fprintf(stderr, "vantrel: inp create: %s and %s would both be stored as %s; nothing was written\n",
                 os::ToUtf8(sorted[i - 1]->path).c_str(), os::ToUtf8(sorted[i]->path).c_str(),
                 os::ToUtf8(sorted[i]->name).c_str());
    return kExitUsage;
  }
  return kExitSuccess;
}

}  // namespace

int CollectSources(const std::vector<std::string>& sources, bool withFolders, SourceItems& collected) {
  const bool named = sources.size() > 1;
  for (const std::string& source : sources) {
    const WString path = FromCurrentDirectory(os::FromUtf8(source));
    os::FileInfo info;
    if (const DWORD error = os::GetInfo(path, info)) {
      PrintError(kDoing, error, source);
      return kExitFailure;
    }
    const WString top = LastName(path);
    const bool isFolder = (info.attributes & os::kAttrDirectory) && !(info.attributes & os::kAttrReparsePoint);
    if ((named || !isFolder) && !UsableTopName(top)) {
      std::fprintf(stderr, "vantrel: inp create: %s has no name to store its entries under; give it by its name\n",
                   source.c_str());
      return kExitUsage;
    }
    const ORVFILEATTRIBUTEDATA block = orv::archive::AttributeBlock(info.attributes, info.times, isFolder ? 0 : info.size);
    if (!isFolder) {
      collected.items.push_back({path, top, block});
      continue;
    }
    if (named && withFolders) collected.items.push_back({path, top, block});
    CollectTree(path, named ? top : WString(), withFolders, collected);
  }
  return RefuseCollisions(collected.items);
}

}  // namespace vantrel_cli
