#include "layout/reajust.h"

#include <cmath>

#include "services/log.h"

namespace orv {

namespace {

constexpr uint64_t kOneMiB = 1024 * 1024;

// Converts a non-negative double to 64 bits, saturating instead of overflowing.
uint64_t Truncate(double value) {
  if (!(value > 0)) return 0;
  if (value >= 18446744073709551615.0) return UINT64_MAX;
  return static_cast<uint64_t>(value);
}

// b - a, or `fallback` when b lies before a (a hostile or inconsistent layout).
uint64_t Distance(uint64_t a, uint64_t b, uint64_t fallback) { return b >= a ? b - a : fallback; }

bool IsExtended(const COrvPartition& p) { return p.type == 0x05 || p.type == 0x0F; }

void MoveRecoveryPartition(const COrvDisk& current, uint64_t oldSize, uint64_t newSize,
                           COrvPartition& stored) {
  COrvLog& log = COrvLog::GetInstance();
  const COrvPartition existing = current.GetRecoveryPartition();
  if (existing.size != 0) {
    log.AddInfo(ORV_T("ReajustRP: RP exist on disk."));
    stored.startingOffset = existing.startingOffset;
    stored.size = existing.size;
  } else if (stored.startingOffset > kOneMiB) {
    log.AddInfo(ORV_T("ReajustRP: RP Does not exist on disk."));
    // The end keeps its relative place; the size is kept.
    const uint64_t end = ScaleToDisk(stored.End(), oldSize, newSize);
    stored.startingOffset = Distance(stored.size, end, 0);
  }
  log.AddInfo(ORV_T("ReajustRP: New RP: %I64u,%I64u"), stored.startingOffset, stored.size);
}

// Chains the records that `inChain` selects: each starts where the previous record of
// the chain ends (or at `first`), and a record that is not Fixed reaches the start of
// the next one (or `last`). `neighbour` says which records count as neighbours.
template <class Member, class Neighbour>
void Chain(std::vector<COrvPartition>& records, Member inChain, Neighbour neighbour, uint64_t first,
           uint64_t last) {
  for (size_t i = 0; i < records.size(); ++i) {
    COrvPartition& record = records[i];
    if (!inChain(i)) continue;
    record.startingOffset = first;
    for (size_t p = i; p-- > 0;) {
      if (!neighbour(i, p)) continue;
      record.startingOffset = records[p].End();
      break;
    }
    if (record.fixed) continue;
    uint64_t end = last;
    for (size_t n = i + 1; n < records.size(); ++n) {
      if (!neighbour(i, n)) continue;
      end = records[n].startingOffset;
      break;
    }
    record.size = Distance(record.startingOffset, end, record.size);
  }
}

}  // namespace

uint64_t ScaleToDisk(uint64_t value, uint64_t oldSize, uint64_t newSize) {
  if (oldSize == 0) return value;
  return Truncate(static_cast<double>(value) * 100.0 / static_cast<double>(oldSize) *
                  static_cast<double>(newSize) / 100.0);
}

void ReajustRP(const COrvDisk& current, COrvDisk& layout) {
  const uint64_t oldSize = layout.size;
  const uint64_t newSize = current.size;
  layout.size = newSize;
  std::vector<COrvPartition> records;
  for (DWORD i = 0; i < layout.GetPartitionCount(); ++i)
    records.push_back(layout.GetPartitionAt(i));

  COrvPartition* recovery = nullptr;
  for (COrvPartition& record : records)
    if (record.size != 0 && record.recovery) {
      recovery = &record;
      break;
    }
  if (recovery) MoveRecoveryPartition(current, oldSize, newSize, *recovery);

  for (COrvPartition& record : records) {
    if (record.size == 0 || record.recovery || (record.fixed && !record.unallocated)) continue;
    record.startingOffset = ScaleToDisk(record.startingOffset, oldSize, newSize);
    record.size = ScaleToDisk(record.size, oldSize, newSize);
  }

  // Primary records, with the recovery partition as a neighbour; logical ones are passed over.
  Chain(
      records, [&](size_t i) { return records[i].primary && !records[i].recovery; },
      [&](size_t, size_t other) { return records[other].primary != 0; }, current.trackSize,
      newSize);

  const COrvPartition* extended = nullptr;
  for (const COrvPartition& record : records)
    if (record.size != 0 && IsExtended(record)) {
      extended = &record;
      break;
    }
  if (extended) {
    const uint64_t start = extended->startingOffset;
    const uint64_t first =
        current.trackSize > UINT64_MAX - start ? UINT64_MAX : start + current.trackSize;
    const uint64_t last = extended->End();
    // Only the records right before and after in the list are neighbours, and only
    // when they are logical.
    Chain(
        records, [&](size_t i) { return records[i].primary == 0; },
        [&](size_t i, size_t other) {
          return (other + 1 == i || other == i + 1) && records[other].primary == 0;
        },
        first, last);
  }

  COrvLog& log = COrvLog::GetInstance();
  layout.RemoveAllPartitions();
  for (const COrvPartition& record : records) {
    if (record.size == 0) continue;
    log.AddInfo(record.unallocated ? ORV_T("Reajust RP: Unallocated %d - Start: %I64u - Size: "
                                           "%I64u - Type: %2.2X - Active: %u")
                                   : ORV_T("Reajust RP: Partition %d - Start: %I64u - Size: %I64u "
                                           "- Type: %2.2X - Active: %u"),
                record.number, record.startingOffset, record.size, record.type, record.active);
    layout.AddPartition(record);
  }
}

}  // namespace orv
