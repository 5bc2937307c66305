// One .INP archive of an image folder, read once in order: the header, the index and
// part files it names, every entry record, every block of every entry.
#include <algorithm>
#include <vector>

#include "archive/format.h"
#include "archive/morlet.h"
#include "archive/part_names.h"
#include "archive/target_path.h"
#include "image/verify_steps.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "services/format.h"

namespace orv::verify {

namespace {

using namespace archive;

// What a failed content check means, in words.
WString ContentProblem(DWORD error) {
  switch (error) {
    case err::kInternalError:
      return ORV_T("a block of its data does not decompress");
    case err::kFileCorrupt:
      return ORV_T("its data does not decompress to the entry's size");
    case err::kNoMoreItems:
      return ORV_T("its data ends before its last block (a part file is cut short or missing)");
    case err::kHandleEof:
      return ORV_T("a block of its data is cut short");
    case err::kFileNotFound:
    case err::kPathNotFound:
      return ORV_T("the part file that holds its data is missing");
    default:
      return ORV_T("its data cannot be read");
  }
}

// The number of blocks a version 5 or 6 entry of this kind must have; kAnySize when its
// content has no size of its own (an encrypted file's raw stream).
uint64_t ExpectedBlocks(const EntryRecord& record) {
  const DWORD attributes = record.attributes.dwFileAttributes;
  if (attributes & os::kAttrReparsePoint) return 1;
  if (attributes & os::kAttrDirectory) return 0;
  const uint64_t size = ContentSizeOf(record.attributes);
  if (size == kAnySize) return kAnySize;
  return size == 0 ? 1 : (size - 1) / kBlockSize + 1;
}

// The first bytes of the file, for its archive type; 0 and the type, or the error.
DWORD ReadArchiveType(const WString& path, DWORD& type) {
  os::File file;
  if (DWORD error = file.Open(path, os::kGenericRead, os::kShareRead, os::Disposition::kOpenExisting))
    return error;
  uint8_t first[12] = {};
  DWORD done = 0;
  if (DWORD error = file.Read(first, sizeof first, done)) return error;
  type = ArchiveTypeOf(first, done);
  return err::kSuccess;
}

// A file of the archive that the folder must hold as a plain file. False, with a
// finding, when it is missing or a link.
bool CheckListed(const FolderListing& listing, WStringView name, Findings& findings) {
  const ListedFile* file = listing.Find(name);
  if (file == nullptr) {
    findings.Add(name, {}, ORV_T("is missing"), err::kFileNotFound);
    return false;
  }
  if (file->link) {
    findings.Add(name, {}, ORV_T("is a link; it is not followed"));
    return false;
  }
  return true;
}

// The index and part files of a version 5 or 6 archive. False when one that would be
// read is a link (the entries' data is then not read). A header that names more parts
// than the folder holds files is reported once instead of part by part.
bool CheckPartFiles(const FolderListing& listing, const ListedFile& archive, DWORD lastPart,
                    Findings& findings) {
  bool readable = true;
  const WString index = IndexFileName(archive.name);
  const ListedFile* indexFile = listing.Find(index);
  if (indexFile == nullptr)
    findings.Add(index, {}, ORV_T("is missing: entries cannot be found by name"), err::kFileNotFound);
  const size_t held = listing.files.size();
  if (lastPart > held)
    findings.Add(archive.name, {},
                 Format(ORV_T("names %u part files; the folder holds only %u files"), lastPart,
                        static_cast<DWORD>(held)));
  const DWORD checked = static_cast<DWORD>(std::min<uint64_t>(lastPart, held));
  for (DWORD part = 1; part <= checked; ++part) {
    const WString name = PartFileName(archive.name, part);
    const ListedFile* file = listing.Find(name);
    if (file != nullptr && file->link) readable = false;
    CheckListed(listing, name, findings);
  }
  return readable;
}

// Looks at the current entry: its name, its block count, its data.
void CheckEntry(COrvMorlet& morlet, const ListedFile& archive, bool readData, HeldEntries& held,
                Findings& findings, ReadCount& count, FolderVerification& result) {
  std::vector<Char> buffer(kMaxTargetPath + 1, Char(0));
  morlet.GetEntryName(buffer.data(), static_cast<int>(buffer.size()));
  const WString name(buffer.data());
  const ORVFILEATTRIBUTEDATA attributes = morlet.GetEntryAttributes();
  const bool directory = attributes.dwFileAttributes & os::kAttrDirectory;
  result.entries += 1;

  const auto [seen, added] = held.emplace(COrvString(name), HeldEntry{archive.name, directory, SizeOf(attributes)});
  if (!added)
    findings.Add(archive.name, name, Format(ORV_T("is held twice (also in %s)"), seen->second.archive));
  if (!IsSafeEntryName(name))
    findings.Add(archive.name, name, ORV_T("has a name that reaches outside the folder it is restored to"));
  if (!readData) return;

  const DWORD type = morlet.GetArchiveType();
  const bool v56 = type == kTypeVersion5 || type == kTypeVersion6;
  const EntryRecord& record = morlet.CurrentRecord();
  if (v56) {
    const uint64_t expected = ExpectedBlocks(record);
    const bool agrees = expected == kAnySize ? record.blockCount >= 1 : record.blockCount == expected;
    if (!agrees) {
      findings.Add(archive.name, name,
                   Format(ORV_T("records %I64u blocks for %I64u bytes"), record.blockCount,
                          SizeOf(record.attributes)),
                   err::kFileCorrupt);
      return;  // the data would be read with a count that is already known to be wrong
    }
  }
  uint64_t stored = 0;
  if (!morlet.CheckCurrentContent(stored)) {
    const DWORD error = morlet.GetLastErrorCode();
    findings.Add(archive.name, name, ContentProblem(error), error);
  } else if (v56 && stored != record.storedLength) {
    findings.Add(archive.name, name,
                 Format(ORV_T("records a stored length of %I64u bytes; its blocks hold %I64u"),
                        record.storedLength, stored),
                 err::kFileCorrupt);
  }
  result.storedBytes += stored;
  count.Add(stored);
}

}  // namespace

void VerifyArchive(const FolderListing& listing, const ListedFile& archive, HeldEntries& held,
                   Findings& findings, ReadCount& count, FolderVerification& result) {
  const WString path = listing.PathOf(archive.name);
  DWORD type = 0;
  if (DWORD error = ReadArchiveType(path, type)) {
    findings.Add(archive.name, {}, ORV_T("cannot be read"), error);
    return;
  }
  result.archives += 1;
  if (type == kTypeVirtualDisk) {
    // A sector image: its files are those of the disk image, which is not mounted here.
    result.catalogueCompared = false;
    count.Add(archive.size);
    return;
  }
  if (type == kTypeWim) {
    result.catalogueCompared = false;
    VerifyWim(listing, archive, findings);
    return;
  }
  const WString index = IndexFileName(archive.name);
  const ListedFile* indexFile = listing.Find(index);
  const bool v56 = type == kTypeVersion5 || type == kTypeVersion6;
  if (v56 && indexFile != nullptr && indexFile->link) {
    findings.Add(index, {}, ORV_T("is a link; it is not followed"));
    return;
  }
  COrvMorlet morlet;
  if (!morlet.Open(path.c_str(), 1, 2)) {
    findings.Add(archive.name, {}, ORV_T("cannot be opened as an archive"), morlet.GetLastErrorCode());
    return;
  }
  const bool readData = !v56 || CheckPartFiles(listing, archive, morlet.LastPart(), findings);
  while (!count.Cancelled() && morlet.NextEntry(1))
    CheckEntry(morlet, archive, readData, held, findings, count, result);
  const DWORD end = morlet.GetLastErrorCode();
  if (!count.Cancelled() && end != err::kNoMoreItems)
    findings.Add(archive.name, {}, ORV_T("its entry records end in a damaged record"), end);
  morlet.Close();
}

}  // namespace orv::verify
