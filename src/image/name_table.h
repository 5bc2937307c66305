// A table of records by file name, compared as Windows compares names (ignoring case):
// the reference table of a differential scan, looked up for every entry of a volume.
//
// The records lie in one vector in the order they were added; an open-addressing index
// of their positions, with each name's hash beside it, finds a name from a view of it,
// with no string made and no allocation per record. Adding may move the records: an
// iterator or reference is good until the next add.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/case_fold.h"
#include "platform/text.h"
#include "services/string.h"

namespace orv {

template <class Record>
class NameTable {
 public:
  using Entry = std::pair<COrvString, Record>;
  using iterator = typename std::vector<Entry>::iterator;
  using const_iterator = typename std::vector<Entry>::const_iterator;

  iterator begin() { return entries_.begin(); }
  iterator end() { return entries_.end(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }

  // Room for `count` records without growing.
  void reserve(size_t count) {
    entries_.reserve(count);
    if (count > slots_.size() / 2) Rehash(SlotsFor(count));
  }

  iterator find(WStringView name) { return FindHashed(name, HashOf(name)); }
  const_iterator find(WStringView name) const { return const_cast<NameTable*>(this)->find(name); }
  // The record of `name`, which must be present.
  const Record& at(WStringView name) const { return find(name)->second; }

  // Adds `name` unless a name equal to it ignoring case is present; the record of that
  // name, and whether it was added.
  std::pair<iterator, bool> emplace(COrvString name, const Record& record) {
    const uint32_t hash = HashOf(name.str());
    const iterator found = FindHashed(name.str(), hash);
    if (found != end()) return {found, false};
    if (entries_.size() + 1 > slots_.size() / 2) Rehash(SlotsFor(entries_.size() + 1));
    entries_.emplace_back(std::move(name), record);
    Place(hash, static_cast<uint32_t>(entries_.size()));
    return {end() - 1, true};
  }

 private:
  struct Slot {
    uint32_t position = 0;  // of the record, plus 1; 0 for an empty slot
    uint32_t hash = 0;
  };

  static uint32_t HashOf(WStringView name);
  iterator FindHashed(WStringView name, uint32_t hash) {
    for (size_t at = hash & Mask();; at = (at + 1) & Mask()) {
      if (slots_.empty() || slots_[at].position == 0) return end();
      const Entry& entry = entries_[slots_[at].position - 1];
      if (slots_[at].hash == hash && SameName(entry.first.str(), name))
        return begin() + (slots_[at].position - 1);
    }
  }
  static bool SameName(WStringView a, WStringView b);
  // A power of two at least twice the count, so that probes stay short.
  static size_t SlotsFor(size_t count) {
    size_t slots = 16;
    while (slots < 2 * count) slots *= 2;
    return slots;
  }
  size_t Mask() const { return slots_.size() - 1; }
  void Place(uint32_t hash, uint32_t position) {
    size_t at = hash & Mask();
    while (slots_[at].position != 0) at = (at + 1) & Mask();
    slots_[at] = Slot{position, hash};
  }
  void Rehash(size_t slots) {
    if (slots <= slots_.size()) return;
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(slots, Slot{});
    for (const Slot& slot : old)
      if (slot.position != 0) Place(slot.hash, slot.position);
  }

  std::vector<Entry> entries_;
  std::vector<Slot> slots_;
};

// FNV-1a over the upper-cased units of the name.
template <class Record>
uint32_t NameTable<Record>::HashOf(WStringView name) {
  uint32_t hash = 2166136261u;
  for (const Char c : name) {
    hash ^= static_cast<uint32_t>(os::ToUpper(c));
    hash *= 16777619u;
  }
  return hash;
}

template <class Record>
bool NameTable<Record>::SameName(WStringView a, WStringView b) {
  return a.size() == b.size() && os::CompareNoCase(a, b) == 0;
}

}  // namespace orv
