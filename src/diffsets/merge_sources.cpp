// Reading the sets a merge folds together, oldest first, into the merge table.
#include "archive/morlet.h"
#include "diffsets/image_ex.h"
#include "image/catalogue_xml.h"
#include "image/restore_rules.h"
#include "image/restore_sets.h"
#include "platform/case_fold.h"
#include "services/log.h"

namespace orv {

DWORD COrvImageEx::ReadSets(const WString& imageFolder, int first, int last) {
  COrvLog& log = COrvLog::GetInstance();
  for (int n = first; n <= last; ++n) {
    const WString set = SetFolder(imageFolder, n);
    if (!FolderExists(set)) {
      log.AddError(ORV_T("Differential set %s is missing"), set);
      return err::kPathNotFound;
    }
    const WString catalogue = set + ORV_T("\\Base.xml");
    log.AddInfo(ORV_T("Read %s"), catalogue);
    BaseCatalogue base;
    if (const DWORD error = ReadBaseCatalogue(catalogue, base)) {
      log.AddError(ORV_T("Cannot read %s - %u"), catalogue, error);
      return error;
    }
    if (!base.refused.empty()) return err::kInvalidData;
    for (const WString& file : base.files) {
      if (!os::ContainsNoCase(file, ORV_T(".inp")) && !os::ContainsNoCase(file, ORV_T(".wim"))) continue;
      const WString archive = set + ORV_T("\\") + file;
      log.AddInfo(ORV_T("Add %s to INP list"), archive);
      // A WIM image cannot be copied into an archive: merging its set would lose it.
      if (os::EndsWithNoCase(file, ORV_T(".wim"))) {
        log.AddError(ORV_T("%s is a WIM image: its set cannot be merged"), archive);
        return err::kNotSupported;
      }
      if (const DWORD error = ReadArchive(archive)) return error;
    }
    // A set's deletions came after its files: they apply to everything read so far.
    std::vector<DeletedEntry> deletions;
    std::vector<WString> refused;
    const DWORD error = ReadDeletionList(set + ORV_T("\\DEL.XML"), deletions, &refused);
    if (error != 0 && error != err::kFileNotFound) {
      log.AddError(ORV_T("Cannot read %s\\DEL.XML - %u"), set, error);
      return error;
    }
    // Without a caller to ask, a deleted file stays deleted.
    const MergeTable::KeepDeleted keep = [&](const WString& name) {
      return callback_ != nullptr &&
             Send(420, 0, 0, reinterpret_cast<ORVVALUE>(name.c_str())) != FALSE;
    };
    for (const DeletedEntry& deletion : deletions)
      table_.ApplyDeletion(deletion.path, deletion.directory, keep);
  }
  return err::kSuccess;
}

DWORD OpenSetArchive(COrvMorlet& reader, const WString& archive) {
  if (reader.Open(archive.c_str(), 1, 0)) return err::kSuccess;
  const DWORD error = reader.GetLastErrorCode();
  COrvLog::GetInstance().AddError(ORV_T("COrvMorlet::Open failed on %s - %u (%8.8X)"), archive,
                                  error, error);
  return error;
}

DWORD COrvImageEx::ReadArchive(const WString& archive) {
  COrvLog& log = COrvLog::GetInstance();
  COrvMorlet reader;
  if (const DWORD error = OpenSetArchive(reader, archive)) return error;
  const DWORD type = reader.GetArchiveType();
  if (type != archive::kTypeVersion5 && type != archive::kTypeVersion6) {
    // Only archives of versions 5 and 6 can give their blocks over unchanged.
    log.AddError(ORV_T("%s is an archive of version %u, which cannot be merged"), archive, type);
    reader.Close();
    return err::kNotSupported;
  }
  while (reader.NextEntry(1)) table_.AddCapture(CurrentEntryName(reader), archive);
  const DWORD error = WalkError(reader);
  reader.Close();
  if (error != 0) log.AddError(ORV_T("Cannot read the entries of %s - %u"), archive, error);
  return error;
}

}  // namespace orv
