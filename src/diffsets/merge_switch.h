// The switch from the merged sets to the merged set, made so that a merge stopped at any
// point (power lost, process killed) can be finished or undone by the next one.
//
// The new set is built whole in F\TEMP. Then a journal, F\MERGE.TXT, records the plan
// and the phase reached; it is written atomically, so it is either there whole or not
// at all:
//   no journal      nothing has changed yet: a TEMP left behind is thrown away;
//   phase 1         the merged sets are deleted, the sets after them are moved aside as
//                   F\RENUMBER.m (m their new number) and TEMP becomes F\RENUMBER.first;
//   phase 2         every F\RENUMBER.m becomes F\USERDIFF.m; then the journal goes.
// Each step of a phase is done only where its source is still there, so a phase can be
// run again from its start; no phase creates a name the same phase tests for.
#pragma once

#include "platform/text.h"

namespace orv {

struct MergePlan {
  int first = 0;  // the sets first..last become one, numbered first
  int last = 0;
  int end = 0;    // the last set after them at the start; end == last when none
};

WString MergeWorkFolder(const WString& imageFolder);  // F\TEMP

// Records the plan (phase 1) once the merged set is whole in TEMP, and carries it out.
DWORD CommitMerge(const WString& imageFolder, const MergePlan& plan);

// Finishes a merge whose journal is there, or throws away a TEMP left without one.
// `found` tells whether there was anything to do. A journal that cannot be read is
// left alone (13): guessing could lose sets.
DWORD RecoverMerge(const WString& imageFolder, bool& found);

}  // namespace orv
