// The name tree of a version 5 or 6 archive (its index file): nodes addressed by byte
// offset, each with the offset of an entry record, a first child, a next sibling and one
// path component. The tree lives in memory in whole-MiB chunks (one write at Save), or,
// when memory cannot be had, in the index file itself.
//
// Insertion keeps a lookup of (parent, component) -> node beside the bytes, so adding a
// name never walks the siblings; the bytes written are those the plain walk would give.
// Lookups use the same table, built once from the stored nodes; when the stored tree is
// corrupt (cycles, offsets past its end, oversized names) they walk the nodes with a step
// budget instead, so a lookup ends rather than looping or reading outside the index.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/file.h"

namespace orv::archive {

class NameTree {
 public:
  static constexpr uint32_t kNodeFixed = 28;
  static constexpr uint32_t kHeapSlack = 8;  // left after each node kept in memory
  static constexpr uint32_t kMaxComponent = 262;
  static constexpr uint64_t kChunk = 1048576;

  NameTree() = default;
  NameTree(const NameTree&) = delete;
  NameTree& operator=(const NameTree&) = delete;

  // A new tree holding the root node: in memory, or (when `inFile`) in a new index file.
  DWORD Create(WStringView indexPath, bool inFile);
  // Loads an existing index file; falls back to working on the file when memory fails.
  DWORD Load(WStringView indexPath, bool writable);
  // Writes a tree kept in memory to the index file (created anew); closes a file tree.
  DWORD Save(WStringView indexPath);
  void Clear();

  bool IsPresent() const { return present_; }
  bool InMemory() const { return !file_.IsOpen(); }
  uint64_t Size() const { return used_; }

  // Points the node of `name` at `entryOffset`, adding the nodes on the way. False when
  // the index cannot hold the node (memory, file write) or is corrupt.
  bool Insert(WStringView name, uint64_t entryOffset);
  // The entry offset of `name`: kNoOffset when not found (or only a step to longer names).
  uint64_t Lookup(WStringView name);

 private:
  struct Node {
    uint64_t entry = 0;
    uint64_t child = 0;
    uint64_t sibling = 0;
    WString name;
  };

  bool ReadBytes(uint64_t offset, void* out, size_t size);
  bool WriteBytes(uint64_t offset, const void* in, size_t size);
  bool ReadNode(uint64_t offset, Node& node);
  bool WriteNodeLinks(uint64_t offset, const Node& node);
  bool AppendNode(const Node& node, uint64_t& offset);
  bool BuildLookup();
  uint64_t WalkLookup(WStringView name);
  // The lookup key of a component: the parent's offset, then the upper-cased name.
  const WString& Key(uint64_t parent, WStringView component);

  bool present_ = false;
  std::vector<std::unique_ptr<uint8_t[]>> chunks_;
  uint64_t used_ = 0;
  uint64_t lastChunkUsed_ = 0;
  bool readOnly_ = false;  // loaded to be read: the last chunk has no room to grow
  os::File file_;
  // Insertion lookups, built on the first insertion.
  bool lookupBuilt_ = false;
  bool lookupFailed_ = false;  // the stored tree has cycles or broken nodes
  std::unordered_map<WString, uint64_t> children_;  // Key(parent, name) -> node
  std::unordered_map<uint64_t, uint64_t> lastChild_;
  WString key_;  // Key's result
};

// The components of an archive name: the strings between backslashes.
std::vector<WStringView> SplitComponents(WStringView name);

}  // namespace orv::archive
