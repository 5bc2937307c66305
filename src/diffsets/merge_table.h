// What a merge of differential sets keeps: for every path any merged set mentions, the
// set's newest word on it, either "copy the file from this archive" or "deleted". A
// later mention replaces an earlier one, so each path is in the table once; paths
// compare without regard to case.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "services/string.h"

namespace orv {

struct MergeEntry {
  size_t archive = 0;    // of archives(), the one holding the newest copy
  bool deleted = false;
  bool directory = false;  // of a deletion
};

class MergeTable {
 public:
  using Entries = std::map<COrvString, MergeEntry, COrvStringLess>;
  // Asked before a file captured by an earlier set is dropped for a later deletion:
  // true keeps the file in the merged set.
  using KeepDeleted = std::function<bool(const WString& name)>;

  // The newest copy of `name` is in `archive`. A deletion recorded for the name or for a
  // folder above it is dropped: the merged set is restored with its files first and its
  // deletions after them, so such a deletion would remove the new copy.
  void AddCapture(const WString& name, const WString& archive);

  // `name` was deleted after everything the table holds so far. A file captured before
  // is dropped (unless `keep` says otherwise) and the deletion recorded, so that the
  // copy an older image holds does not come back when the merged set is restored.
  void ApplyDeletion(const WString& name, bool directory, const KeepDeleted& keep);

  const Entries& entries() const { return entries_; }
  // The archives that hold a copy, each once, in the order they were first named.
  const std::vector<WString>& archives() const { return archives_; }

 private:
  void DropDeletedFoldersAbove(const WString& name);

  Entries entries_;
  std::vector<WString> archives_;
};

}  // namespace orv
