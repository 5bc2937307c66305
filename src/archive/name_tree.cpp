#include "archive/name_tree.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_set>

#include "archive/format.h"
#include "platform/case_fold.h"
#include "platform/errors.h"
#include "platform/little_endian.h"
#include "platform/whole_io.h"

namespace orv::archive {

namespace {

// Every byte below the tree's used length is written (or read from the file) before it
// is read, so a new chunk is not cleared: that would cost a MiB of writes per open.
std::unique_ptr<uint8_t[]> NewChunk(uint64_t size = NameTree::kChunk) {
  return std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(size));
}

constexpr WStringView kRootName = ORV_T("Root");

}  // namespace

std::vector<WStringView> SplitComponents(WStringView name) {
  std::vector<WStringView> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = name.find(Char('\\'), start);
    parts.push_back(name.substr(start, end == WStringView::npos ? WStringView::npos : end - start));
    if (end == WStringView::npos) return parts;
    start = end + 1;
  }
}

void NameTree::Clear() {
  present_ = false;
  chunks_.clear();
  used_ = lastChunkUsed_ = 0;
  readOnly_ = false;
  file_.Close();
  lookupBuilt_ = lookupFailed_ = false;
  children_.clear();
  lastChild_.clear();
}

DWORD NameTree::Create(WStringView indexPath, bool inFile) {
  Clear();
  if (inFile) {
    if (DWORD error = file_.Open(indexPath, os::kGenericRead | os::kGenericWrite, 0,
                                 os::Disposition::kCreateNew))
      return error;
  } else {
    try {
      chunks_.push_back(NewChunk());
    } catch (const std::bad_alloc&) {
      return err::kNotEnoughMemory;
    }
  }
  present_ = true;
  Node root;
  root.entry = 0;
  root.child = root.sibling = kNoOffset;
  root.name = kRootName;
  uint64_t offset;
  if (!AppendNode(root, offset)) {
    Clear();
    return err::kNotEnoughMemory;
  }
  return err::kSuccess;
}

DWORD NameTree::Load(WStringView indexPath, bool writable) {
  Clear();
  os::File file;
  DWORD error = file.Open(indexPath, os::kGenericRead, os::kShareRead, os::Disposition::kOpenExisting);
  uint64_t size = 0;
  if (!error) error = file.Size(size);
  if (!error) {
    try {
      // A tree that is only read takes no room to grow: its last chunk is as long as
      // the file's tail (an index of a few hundred bytes costs that, not a MiB).
      const uint64_t count = size / kChunk + 1;
      const uint64_t tail = size % kChunk;
      for (uint64_t i = 0; i < count; ++i)
        chunks_.push_back(NewChunk(writable || i + 1 < count ? kChunk : std::max<uint64_t>(tail, 1)));
      for (uint64_t i = 0; i < count && !error; ++i) {
        DWORD done = 0;
        const DWORD want = static_cast<DWORD>(std::min<uint64_t>(kChunk, size - i * kChunk));
        error = file.Read(chunks_[i].get(), want, done);
        if (!error && done != want) error = err::kHandleEof;
      }
      if (!error) {
        used_ = size;
        lastChunkUsed_ = tail;
        readOnly_ = !writable;
        present_ = true;
        return err::kSuccess;
      }
    } catch (const std::bad_alloc&) {
      error = err::kNotEnoughMemory;
    }
  }
  chunks_.clear();
  if (error == err::kFileNotFound || error == err::kPathNotFound) return error;
  // Memory (or a read) failed: work on the index file itself.
  const DWORD access = os::kGenericRead | (writable ? os::kGenericWrite : 0);
  if (DWORD openError = file_.Open(indexPath, access, os::kShareRead, os::Disposition::kOpenExisting))
    return openError;
  if (DWORD sizeError = file_.Size(used_)) return sizeError;
  present_ = true;
  return err::kSuccess;
}

DWORD NameTree::Save(WStringView indexPath) {
  if (!present_) return err::kSuccess;
  DWORD error = err::kSuccess;
  if (InMemory()) {
    // A new file replaces the index only once it is whole on disk.
    const WString fresh = WString(indexPath) + ORV_T(".new");
    {
      os::File file;
      error = os::CreateNewFile(fresh, file);
      for (uint64_t offset = 0; !error && offset < used_; offset += kChunk) {
        const DWORD size = static_cast<DWORD>(std::min<uint64_t>(kChunk, used_ - offset));
        error = os::WriteAll(file, chunks_[offset / kChunk].get(), size);
      }
      if (!error) error = file.Flush();
    }
    if (!error) error = os::MoveFile(fresh, indexPath, true);
    if (!error) error = os::FlushFolderOf(indexPath);
    if (error) os::DeleteFile(fresh);
  } else {
    error = file_.Flush();
  }
  Clear();
  return error;
}

bool NameTree::ReadBytes(uint64_t offset, void* out, size_t size) {
  if (offset > used_ || size > used_ - offset) return false;
  if (!InMemory()) {
    DWORD done = 0;
    return file_.Seek(static_cast<int64_t>(offset), os::SeekFrom::kBegin) == 0 &&
           file_.Read(out, static_cast<DWORD>(size), done) == 0 && done == size;
  }
  auto* bytes = static_cast<uint8_t*>(out);
  while (size > 0) {
    const size_t inChunk = static_cast<size_t>(std::min<uint64_t>(size, kChunk - offset % kChunk));
    std::memcpy(bytes, chunks_[offset / kChunk].get() + offset % kChunk, inChunk);
    bytes += inChunk;
    offset += inChunk;
    size -= inChunk;
  }
  return true;
}

bool NameTree::WriteBytes(uint64_t offset, const void* in, size_t size) {
  if (readOnly_) return false;
  if (!InMemory()) {
    DWORD done = 0;
    return file_.Seek(static_cast<int64_t>(offset), os::SeekFrom::kBegin) == 0 &&
           file_.Write(in, static_cast<DWORD>(size), done) == 0 && done == size;
  }
  if (offset + size > chunks_.size() * kChunk) return false;
  const auto* bytes = static_cast<const uint8_t*>(in);
  while (size > 0) {
    const size_t inChunk = static_cast<size_t>(std::min<uint64_t>(size, kChunk - offset % kChunk));
    std::memcpy(chunks_[offset / kChunk].get() + offset % kChunk, bytes, inChunk);
    bytes += inChunk;
    offset += inChunk;
    size -= inChunk;
  }
  return true;
}

bool NameTree::ReadNode(uint64_t offset, Node& node) {
  uint8_t fixed[kNodeFixed];
  if (!ReadBytes(offset, fixed, kNodeFixed)) return false;
  node.entry = LoadLE<uint64_t>(fixed);
  node.child = LoadLE<uint64_t>(fixed + 8);
  node.sibling = LoadLE<uint64_t>(fixed + 16);
  const uint32_t chars = LoadLE<uint32_t>(fixed + 24);
  if (chars > kMaxComponent) return false;
  uint8_t name[2 * kMaxComponent];
  if (!ReadBytes(offset + kNodeFixed, name, 2 * size_t{chars})) return false;
  node.name = DecodeName(name, chars);
  return true;
}

bool NameTree::WriteNodeLinks(uint64_t offset, const Node& node) {
  uint8_t fixed[24];
  StoreLE<uint64_t>(fixed, node.entry);
  StoreLE<uint64_t>(fixed + 8, node.child);
  StoreLE<uint64_t>(fixed + 16, node.sibling);
  return WriteBytes(offset, fixed, sizeof fixed);
}

bool NameTree::AppendNode(const Node& node, uint64_t& offset) {
  if (readOnly_) return false;
  const size_t chars = std::min<size_t>(node.name.size(), kMaxComponent);
  std::vector<uint8_t> bytes(kNodeFixed + 2 * chars + (InMemory() ? kHeapSlack : 0), 0);
  StoreLE<uint64_t>(bytes.data(), node.entry);
  StoreLE<uint64_t>(bytes.data() + 8, node.child);
  StoreLE<uint64_t>(bytes.data() + 16, node.sibling);
  StoreLE<uint32_t>(bytes.data() + 24, static_cast<uint32_t>(chars));
  EncodeName(WStringView(node.name).substr(0, chars), bytes.data() + kNodeFixed);
  if (InMemory()) {
    // A new MiB when the last one cannot take the node; nothing is copied.
    if (lastChunkUsed_ + bytes.size() > kChunk - 1 || used_ + bytes.size() > chunks_.size() * kChunk) {
      try {
        chunks_.push_back(NewChunk());
      } catch (const std::bad_alloc&) {
        return false;
      }
      lastChunkUsed_ = 0;
    }
    offset = used_;
    if (!WriteBytes(offset, bytes.data(), bytes.size())) return false;
    lastChunkUsed_ += bytes.size();
  } else {
    offset = used_;
    if (!WriteBytes(offset, bytes.data(), bytes.size())) return false;
  }
  used_ += bytes.size();
  return true;
}

const WString& NameTree::Key(uint64_t parent, WStringView component) {
  // One string rewritten for every lookup: no allocation once it has grown.
  key_.resize(4 + component.size());
  for (int i = 0; i < 4; ++i) key_[i] = static_cast<Char>(parent >> (16 * i));
  for (size_t i = 0; i < component.size(); ++i) key_[4 + i] = os::ToUpper(component[i]);
  return key_;
}

bool NameTree::BuildLookup() {
  children_.clear();
  lastChild_.clear();
  // Every node reachable from the root, each visited once whatever the links claim.
  std::unordered_set<uint64_t> seen{0};
  std::vector<uint64_t> parents{0};
  while (!parents.empty()) {
    const uint64_t parent = parents.back();
    parents.pop_back();
    Node node;
    if (!ReadNode(parent, node)) return false;
    for (uint64_t child = node.child; child != kNoOffset;) {
      if (!seen.insert(child).second) return false;
      Node childNode;
      if (!ReadNode(child, childNode)) return false;
      children_.emplace(Key(parent, childNode.name), child);  // the first match wins
      lastChild_[parent] = child;
      parents.push_back(child);
      child = childNode.sibling;
    }
  }
  lookupBuilt_ = true;
  return true;
}

bool NameTree::Insert(WStringView name, uint64_t entryOffset) {
  if (!present_) return false;
  if (!lookupBuilt_ && (lookupFailed_ || !BuildLookup())) {
    lookupFailed_ = true;
    return false;
  }
  const std::vector<WStringView> parts = SplitComponents(name);
  uint64_t parent = 0;
  for (size_t i = 0; i < parts.size(); ++i) {
    const bool last = i + 1 == parts.size();
    const WStringView component = parts[i].substr(0, kMaxComponent);
    const auto found = children_.find(Key(parent, component));
    if (found != children_.end()) {
      if (last) {
        uint8_t bytes[8];
        StoreLE<uint64_t>(bytes, entryOffset);
        if (!WriteBytes(found->second, bytes, sizeof bytes)) return false;
      }
      parent = found->second;
      continue;
    }
    Node node;
    node.entry = last ? entryOffset : kNoOffset;
    node.child = node.sibling = kNoOffset;
    node.name = component;
    uint64_t offset;
    if (!AppendNode(node, offset)) return false;
    // Link the node: the parent's first child, or the last child's next sibling.
    const auto lastChild = lastChild_.find(parent);
    const uint64_t linkAt = lastChild == lastChild_.end() ? parent + 8 : lastChild->second + 16;
    uint8_t bytes[8];
    StoreLE<uint64_t>(bytes, offset);
    if (!WriteBytes(linkAt, bytes, sizeof bytes)) return false;
    lastChild_[parent] = offset;
    children_.emplace(Key(parent, component), offset);
    parent = offset;
  }
  return true;
}

uint64_t NameTree::Lookup(WStringView name) {
  if (!present_) return kNoOffset;
  // The lookup that insertion keeps serves reads too; a corrupt tree is walked instead.
  if (!lookupBuilt_ && !lookupFailed_ && !BuildLookup()) lookupFailed_ = true;
  if (lookupBuilt_) {
    uint64_t node = 0;
    for (const WStringView component : SplitComponents(name)) {
      const auto found = children_.find(Key(node, component.substr(0, kMaxComponent)));
      if (found == children_.end()) return kNoOffset;
      node = found->second;
    }
    uint8_t entry[8];
    return ReadBytes(node, entry, sizeof entry) ? LoadLE<uint64_t>(entry) : kNoOffset;
  }
  return WalkLookup(name);
}

uint64_t NameTree::WalkLookup(WStringView name) {
  // No walk of a sound index visits more nodes than it holds.
  uint64_t budget = used_ / kNodeFixed + 1;
  Node node;
  if (!ReadNode(0, node)) return kNoOffset;
  for (const WStringView component : SplitComponents(name)) {
    uint64_t child = node.child;
    bool matched = false;
    while (child != kNoOffset) {
      if (budget-- == 0 || !ReadNode(child, node)) return kNoOffset;
      if (os::CompareNoCase(node.name, component) == 0) {
        matched = true;
        break;
      }
      child = node.sibling;
    }
    if (!matched) return kNoOffset;
  }
  return node.entry;
}

}  // namespace orv::archive
