#include "diffsets/merge_switch.h"

#include <charconv>
#include <vector>

#include "fsutil/delete_tree.h"
#include "image/restore_sets.h"
#include "platform/case_fold.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "services/format.h"
#include "services/log.h"
#include "services/text_file.h"

namespace orv {

namespace {

constexpr int kPhaseMoved = 1;
constexpr int kPhaseRenumber = 2;


WString AsideFolder(const WString& imageFolder, int number) {
  return Format(ORV_T("%s\\RENUMBER.%d"), imageFolder, number);
}

DWORD WriteJournal(const WString& imageFolder, const MergePlan& plan, int phase) {
  const WString text = Format(ORV_T("First=%d\r\nLast=%d\r\nEnd=%d\r\nPhase=%d\r\n"), plan.first,
                              plan.last, plan.end, phase);
  std::vector<uint8_t> bytes{kUtf16ByteOrderMark & 0xFF, kUtf16ByteOrderMark >> 8};
  const std::vector<uint8_t> body = Utf16LeBytes(text);
  bytes.insert(bytes.end(), body.begin(), body.end());
  return ReplaceFileContent(MergeJournalPath(imageFolder), bytes);
}

// The value of a "Key=number" line; false when the line is another key or no number.
bool ReadKey(const WString& line, WStringView key, int& value) {
  if (line.size() <= key.size() + 1 || line[key.size()] != '=' ||
      os::CompareNoCase(WStringView(line).substr(0, key.size()), key) != 0)
    return false;
  const std::string digits = os::ToUtf8(WStringView(line).substr(key.size() + 1));
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return error == std::errc() && end == digits.data() + digits.size();
}

DWORD ReadJournal(const WString& imageFolder, MergePlan& plan, int& phase) {
  std::vector<uint8_t> bytes;
  if (const DWORD error = ReadWholeFile(MergeJournalPath(imageFolder), bytes, 64 * 1024)) return error;
  int seen = 0;
  for (const WString& line : Utf16LeLines(bytes)) {
    if (ReadKey(line, ORV_T("First"), plan.first)) seen |= 1;
    else if (ReadKey(line, ORV_T("Last"), plan.last)) seen |= 2;
    else if (ReadKey(line, ORV_T("End"), plan.end)) seen |= 4;
    else if (ReadKey(line, ORV_T("Phase"), phase)) seen |= 8;
  }
  const bool sound = seen == 15 && plan.first >= 0 && plan.last > plan.first &&
                     plan.end >= plan.last && plan.end - plan.last < 100000 &&
                     (phase == kPhaseMoved || phase == kPhaseRenumber);
  return sound ? err::kSuccess : err::kInvalidData;
}

DWORD Rename(const WString& from, const WString& to) {
  COrvLog::GetInstance().AddInfo(ORV_T("Rename %s to %s"), from, to);
  const DWORD error = os::MoveFile(from, to, false);
  if (error != 0) COrvLog::GetInstance().AddError(ORV_T("Rename failed - %u"), error);
  return error;
}

// Phase 1: the merged sets go, the later ones and the new set wait under their new numbers.
DWORD MoveAside(const WString& imageFolder, const MergePlan& plan) {
  COrvLog& log = COrvLog::GetInstance();
  for (int n = plan.first; n <= plan.last; ++n) {
    const WString set = SetFolder(imageFolder, n);
    if (!FolderExists(set)) continue;
    log.AddInfo(ORV_T("Delete Directory: %s"), set);
    if (const DWORD error = DeleteTree(set)) return error;
  }
  for (int k = plan.last + 1; k <= plan.end; ++k) {
    const WString set = SetFolder(imageFolder, k);
    if (!FolderExists(set)) continue;
    if (const DWORD error = Rename(set, AsideFolder(imageFolder, plan.first + k - plan.last)))
      return error;
  }
  const WString work = MergeWorkFolder(imageFolder);
  if (FolderExists(work))
    if (const DWORD error = Rename(work, AsideFolder(imageFolder, plan.first))) return error;
  // The renames are on disk before the journal says the next phase began.
  return os::FlushFolderOf(MergeJournalPath(imageFolder));
}

// Phase 2: everything moved aside takes its place.
DWORD Renumber(const WString& imageFolder, const MergePlan& plan) {
  for (int m = plan.first; m <= plan.first + (plan.end - plan.last); ++m) {
    const WString aside = AsideFolder(imageFolder, m);
    if (!FolderExists(aside)) continue;
    if (const DWORD error = Rename(aside, SetFolder(imageFolder, m))) return error;
  }
  if (const DWORD error = os::FlushFolderOf(MergeJournalPath(imageFolder))) return error;
  return os::DeleteFile(MergeJournalPath(imageFolder));
}

DWORD CarryOut(const WString& imageFolder, const MergePlan& plan, int phase) {
  if (phase == kPhaseMoved) {
    if (const DWORD error = MoveAside(imageFolder, plan)) return error;
    if (const DWORD error = WriteJournal(imageFolder, plan, kPhaseRenumber)) return error;
  }
  return Renumber(imageFolder, plan);
}

}  // namespace

WString MergeWorkFolder(const WString& imageFolder) { return imageFolder + ORV_T("\\TEMP"); }

DWORD CommitMerge(const WString& imageFolder, const MergePlan& plan) {
  if (const DWORD error = WriteJournal(imageFolder, plan, kPhaseMoved)) return error;
  return CarryOut(imageFolder, plan, kPhaseMoved);
}

DWORD RecoverMerge(const WString& imageFolder, bool& found) {
  COrvLog& log = COrvLog::GetInstance();
  found = false;
  DWORD attributes = 0;
  if (os::GetAttributes(MergeJournalPath(imageFolder), attributes) == 0) {
    found = true;
    MergePlan plan;
    int phase = 0;
    if (const DWORD error = ReadJournal(imageFolder, plan, phase)) {
      log.AddError(ORV_T("Cannot read %s - %u"), MergeJournalPath(imageFolder), error);
      return error;
    }
    log.AddInfo(ORV_T("Finish the merge of sets %d to %d (phase %d)"), plan.first, plan.last, phase);
    return CarryOut(imageFolder, plan, phase);
  }
  const WString work = MergeWorkFolder(imageFolder);
  if (os::GetAttributes(work, attributes) != 0) return err::kSuccess;
  found = true;
  log.AddInfo(ORV_T("Delete Directory: %s"), work);
  return DeleteTree(work);
}

}  // namespace orv
