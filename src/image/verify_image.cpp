// Finding the partition folders of an image and verifying each; the shared steps of
// verify_steps.h that are not about archives or catalogues.
#include "image/verify_image.h"

#include <algorithm>

#include "image/verify_steps.h"
#include "platform/errors.h"
#include "platform/folder.h"
#include "services/format.h"

namespace orv {

namespace verify {

const ListedFile* FolderListing::Find(WStringView name) const {
  const auto found = files.find(COrvString(name));
  return found == files.end() ? nullptr : &found->second;
}

void Findings::Add(WStringView file, WStringView entry, WString problem, DWORD error) {
  size_t& count = perFile_[COrvString(file)];
  if (++count > kMaxPerFile) return;
  folder_.findings.push_back({WString(file), WString(entry), std::move(problem), error});
}

void Findings::Close() {
  for (const auto& [file, count] : perFile_)
    if (count > kMaxPerFile)
      folder_.findings.push_back(
          {file.str(), {}, Format(ORV_T("%I64u more findings about this file are left out"),
                                  static_cast<uint64_t>(count - kMaxPerFile))});
}

bool ReadCount::Add(uint64_t bytes) {
  done_ = std::min(total_, done_ + bytes);
  if (!cancelled_ && progress_ && !progress_(done_, total_)) cancelled_ = true;
  return !cancelled_;
}

}  // namespace verify

namespace {

using verify::FolderListing;

// PRELOAD\DISKn\PARTm lies three levels below the folder above PRELOAD.
constexpr int kMaxDepth = 3;

bool IsArchiveName(WStringView name) {
  return verify::HasExtension(name, ORV_T(".INP")) || verify::HasExtension(name, ORV_T(".WIM"));
}

// The files of an open folder (plain files and links; not its folders), with sizes.
FolderListing ListFiles(const os::Folder& folder, const std::vector<os::FolderEntry>& entries) {
  FolderListing listing;
  listing.path = folder.Path();
  for (const os::FolderEntry& entry : entries) {
    if (entry.folder) continue;
    verify::ListedFile file{entry.name, entry.link, 0};
    os::FileInfo info;
    if (!entry.link && os::GetInfo(listing.PathOf(entry.name), info) == 0) file.size = info.size;
    listing.files.emplace(COrvString(entry.name), std::move(file));
  }
  return listing;
}

bool IsPartitionFolder(const FolderListing& listing) {
  return listing.Find(ORV_T("BASE.XML")) != nullptr || listing.Find(ORV_T("ALL.CRC")) != nullptr ||
         listing.Find(ORV_T("BASE.INP")) != nullptr;
}

// The partition folders at or below `folder`, in name order; links are not entered.
DWORD CollectFolders(const os::Folder& folder, int depth, std::vector<FolderListing>& found) {
  std::vector<os::FolderEntry> entries;
  if (DWORD error = folder.List(entries)) return error;
  FolderListing listing = ListFiles(folder, entries);
  if (IsPartitionFolder(listing)) {
    found.push_back(std::move(listing));
    return err::kSuccess;
  }
  if (depth == kMaxDepth) return err::kSuccess;
  std::sort(entries.begin(), entries.end(),
            [](const os::FolderEntry& a, const os::FolderEntry& b) { return os::CompareNoCase(a.name, b.name) < 0; });
  for (const os::FolderEntry& entry : entries) {
    if (!entry.folder) continue;
    os::Folder child;
    if (folder.OpenChild(entry.name, child) != 0) continue;
    if (DWORD error = CollectFolders(child, depth + 1, found)) return error;
  }
  return err::kSuccess;
}

WString WithoutTrailingSeparator(WStringView path) {
  while (path.size() > 1 && (path.back() == '\\' || path.back() == '/') && path[path.size() - 2] != ':')
    path.remove_suffix(1);
  return WString(path);
}

}  // namespace

bool ImageVerification::AllWell() const {
  if (error != 0 || cancelled || folders.empty()) return false;
  return std::all_of(folders.begin(), folders.end(),
                     [](const FolderVerification& folder) { return folder.findings.empty(); });
}

ImageVerification VerifyImage(WStringView imageDir, const VerifyProgress& progress) {
  ImageVerification result;
  os::Folder root;
  std::vector<FolderListing> listings;
  if ((result.error = root.Open(WithoutTrailingSeparator(imageDir))) != 0) return result;
  if ((result.error = CollectFolders(root, 0, listings)) != 0) return result;
  uint64_t total = 0;
  for (const FolderListing& listing : listings)
    for (const auto& [key, file] : listing.files)
      if (IsArchiveName(file.name)) total += file.size;
  verify::ReadCount count(progress, total);
  for (const FolderListing& listing : listings) {
    FolderVerification& folder = result.folders.emplace_back();
    folder.folder = listing.path;
    verify::VerifyPartitionFolder(listing, count, folder);
    if (count.Cancelled()) break;
  }
  result.cancelled = count.Cancelled();
  if (!result.cancelled) count.Add(total);
  return result;
}

}  // namespace orv
