#include "services/ntfs_paths.h"

#include <unordered_set>
#include <vector>

#include "services/ntfs_attribute_list.h"
#include "services/ntfs_record.h"

namespace orv::ntfs {

namespace {

// Longer than the longest path Windows accepts, in folders and in characters.
constexpr size_t kMaxDepth = 16384;
constexpr size_t kMaxPathLength = 32767;
// Enough for the folders of a large volume; past it the cache starts again.
constexpr size_t kMaxCachedFolders = 1 << 18;

}  // namespace

const PathBuilder::Folder& PathBuilder::FolderAt(Volume& volume, uint64_t record) {
  const auto found = folders_.find(record);
  if (found != folders_.end()) return found->second;
  if (folders_.size() >= kMaxCachedFolders) folders_.clear();
  Folder folder;
  std::vector<uint8_t> bytes;
  FileFacts facts;
  if (volume.ReadRecord(record, bytes) == 0 && ReadEntryFacts(volume, record, bytes, facts) == 0) {
    folder.usable = facts.inUse && facts.isDirectory && facts.isBase && facts.hasName;
    folder.sequence = facts.sequence;
    folder.parent = facts.parent;
    folder.name = std::move(facts.name);
  }
  return folders_.emplace(record, std::move(folder)).first->second;
}

bool PathBuilder::PathOf(Volume& volume, uint64_t record, const FileFacts& facts, WString& path) {
  if (record == kRootRecord) {
    path = ORV_T(".");
    return true;
  }
  std::vector<WString> names{facts.name};
  size_t length = facts.name.size();
  uint64_t parent = facts.parent;
  // The folders this walk passed through. When the walk finds that they cannot reach the
  // root (a cycle, a parent that is no folder or has been reused), each is remembered as
  // unusable, so the files below them cost one lookup each, not a walk of the cycle.
  std::vector<uint64_t> chain;
  std::unordered_set<uint64_t> seen;
  const auto unreachable = [&] {
    for (const uint64_t folder : chain) folders_[folder].usable = false;
    return false;
  };
  while (RecordOf(parent) != kRootRecord) {
    const uint64_t at = RecordOf(parent);
    if (at == record || !seen.insert(at).second) return unreachable();  // a cycle
    if (names.size() >= kMaxDepth) return false;
    const Folder& folder = FolderAt(volume, at);
    if (!folder.usable || (SequenceOf(parent) != 0 && SequenceOf(parent) != folder.sequence))
      return unreachable();
    length += folder.name.size() + 1;
    if (length > kMaxPathLength) return false;
    names.push_back(folder.name);
    parent = folder.parent;
    chain.push_back(at);
  }
  path.clear();
  for (auto name = names.rbegin(); name != names.rend(); ++name) {
    if (!path.empty()) path += ORV_T("\\");
    path += *name;
  }
  return true;
}

}  // namespace orv::ntfs
