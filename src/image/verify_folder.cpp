// One partition folder: BASE.XML names the archives (else the first WIM file, else
// BASE.INP, as a restore finds them), each is checked, and ALL.CRC must list exactly
// the entries they hold (in a differential image folder at least those).
#include "archive/format.h"
#include "image/catalogue_crc.h"
#include "image/catalogue_xml.h"
#include "image/verify_steps.h"
#include "platform/case_fold.h"
#include "platform/errors.h"
#include "services/format.h"

namespace orv::verify {

namespace {

constexpr const Char* kBaseCatalogue = ORV_T("BASE.XML");
constexpr const Char* kEntryCatalogue = ORV_T("ALL.CRC");
constexpr const Char* kBaseArchive = ORV_T("BASE.INP");
// The image password file is added at the start of a capture, outside the walk that
// writes ALL.CRC lines.
constexpr const Char* kPasswordFile = ORV_T("QUEN.DAV");

bool IsWimName(WStringView name) { return HasExtension(name, ORV_T(".WIM")); }

// The catalogue file `name`, when the folder holds it as a plain file; else a finding.
const ListedFile* CatalogueFile(const FolderListing& listing, WStringView name, Findings& findings) {
  const ListedFile* file = listing.Find(name);
  if (file == nullptr)
    findings.Add(name, {}, ORV_T("is missing"), err::kFileNotFound);
  else if (file->link)
    findings.Add(name, {}, ORV_T("is a link; it is not followed"));
  return file != nullptr && !file->link ? file : nullptr;
}

// The archives of the folder, as a restore finds them.
std::vector<WString> ArchiveNames(const FolderListing& listing, Findings& findings) {
  BaseCatalogue catalogue;
  if (CatalogueFile(listing, kBaseCatalogue, findings) != nullptr) {
    if (DWORD error = ReadBaseCatalogue(listing.PathOf(kBaseCatalogue), catalogue))
      findings.Add(kBaseCatalogue, {}, ORV_T("cannot be read"), error);
  }
  for (const WString& name : catalogue.refused)
    findings.Add(kBaseCatalogue, name, ORV_T("names a file outside the folder"), err::kInvalidName);
  if (!catalogue.files.empty()) return catalogue.files;
  for (const auto& [key, file] : listing.files)
    if (IsWimName(file.name)) return {file.name};
  if (listing.Find(kBaseArchive) != nullptr) return {kBaseArchive};
  return {};
}

// Every other WIM file of a folder whose image is a WIM: the parts of a split image.
void VerifyOtherWims(const FolderListing& listing, const std::vector<WString>& named, Findings& findings) {
  for (const auto& [key, file] : listing.files) {
    if (file.link || !IsWimName(file.name)) continue;
    bool checked = false;
    for (const WString& name : named) checked = checked || os::CompareNoCase(name, file.name) == 0;
    if (!checked) VerifyWim(listing, file, findings);
  }
}

// A differential image folder: its ALL.CRC lists the whole volume, its archives only
// what changed.
bool IsDifferentialFolder(const FolderListing& listing) {
  return listing.Find(ORV_T("DEL.XML")) != nullptr || listing.Find(ORV_T("DESC.TXT")) != nullptr;
}

// ALL.CRC against the entries of the archives, line by line. Returns the number of
// lines read.
uint64_t CompareEntryCatalogue(const FolderListing& listing, bool compare, HeldEntries& held,
                               Findings& findings) {
  const bool everyLineHeld = !IsDifferentialFolder(listing);
  uint64_t lines = 0;
  if (CatalogueFile(listing, kEntryCatalogue, findings) == nullptr) return lines;
  const DWORD error = ReadCrcLines(listing.PathOf(kEntryCatalogue), [&](const CrcLine& line) {
    ++lines;
    if (!line.wellFormed) {
      findings.Add(kEntryCatalogue, Format(ORV_T("line %I64u"), static_cast<uint64_t>(line.number)),
                   ORV_T("is not of the form name=marker|size,time"), err::kFileCorrupt);
      return;
    }
    if (!compare) return;
    const auto entry = held.find(COrvString(line.name));
    if (entry == held.end()) {
      if (everyLineHeld)
        findings.Add(kEntryCatalogue, line.name, ORV_T("is listed, but no archive of the folder holds it"));
      return;
    }
    HeldEntry& seen = entry->second;
    seen.listed = true;
    const bool listedDirectory = line.record.marker == kCrcDirectoryMarker;
    if (listedDirectory != seen.directory)
      findings.Add(kEntryCatalogue, line.name,
                   listedDirectory ? ORV_T("is listed as a folder; the archive holds a file")
                                   : ORV_T("is listed as a file; the archive holds a folder"));
    else if (!seen.directory && line.record.size != seen.size)
      findings.Add(kEntryCatalogue, line.name,
                   Format(ORV_T("is listed with %I64u bytes; the archive entry has %I64u"),
                          line.record.size, seen.size));
  });
  if (error) findings.Add(kEntryCatalogue, {}, ORV_T("cannot be read"), error);
  return lines;
}

}  // namespace

void VerifyPartitionFolder(const FolderListing& listing, ReadCount& count, FolderVerification& result) {
  Findings findings(result);
  HeldEntries held;
  const std::vector<WString> names = ArchiveNames(listing, findings);
  bool usesWim = false;
  for (const WString& name : names) {
    if (count.Cancelled()) break;
    const ListedFile* file = listing.Find(name);
    if (file == nullptr) {
      findings.Add(name, {}, ORV_T("is missing"), err::kFileNotFound);
    } else if (file->link) {
      findings.Add(name, {}, ORV_T("is a link; it is not followed"));
    } else if (IsWimName(name)) {
      usesWim = true;
      result.archives += 1;
      VerifyWim(listing, *file, findings);
    } else {
      VerifyArchive(listing, *file, held, findings, count, result);
    }
  }
  if (usesWim) {
    result.catalogueCompared = false;
    VerifyOtherWims(listing, names, findings);
  }
  if (count.Cancelled()) return;

  const uint64_t lines = CompareEntryCatalogue(listing, result.catalogueCompared, held, findings);
  if (names.empty() && lines > 0 && !IsDifferentialFolder(listing))
    findings.Add(kBaseArchive, {}, ORV_T("is missing: ALL.CRC lists entries, but the folder holds no archive"),
                 err::kFileNotFound);
  if (result.catalogueCompared) {
    for (const auto& [name, entry] : held)
      if (!entry.listed && os::CompareNoCase(name.str(), kPasswordFile) != 0)
        findings.Add(entry.archive, name.str(), ORV_T("is not listed in ALL.CRC"));
  }
  findings.Close();
}

}  // namespace orv::verify
