// The steps of an image verification (verify_image.h), shared by its files: what a
// partition folder holds, the findings of one folder, the entries its archives hold,
// and the running count of bytes read.
#pragma once

#include <cstdint>
#include <map>

#include "image/verify_image.h"
#include "platform/case_fold.h"
#include "services/string.h"

namespace orv::verify {

// Whether `name` ends in `extension` (".WIM"), without regard to case.
inline bool HasExtension(WStringView name, WStringView extension) {
  return name.size() >= extension.size() &&
         os::CompareNoCase(name.substr(name.size() - extension.size()), extension) == 0;
}

// A file of a partition folder, seen without following links.
struct ListedFile {
  WString name;  // as the folder spells it
  bool link = false;
  uint64_t size = 0;
};

// The plain files and links of one partition folder, found by name without regard to
// case. Nothing is opened through a name that is not listed here as a file.
struct FolderListing {
  WString path;
  std::map<COrvString, ListedFile, COrvStringLess> files;
  const ListedFile* Find(WStringView name) const;
  WString PathOf(WStringView name) const { return path + ORV_T("\\") + WString(name); }
};

// An entry of one of the folder's archives.
struct HeldEntry {
  WString archive;
  bool directory = false;
  uint64_t size = 0;
  bool listed = false;  // ALL.CRC has its line
};
using HeldEntries = std::map<COrvString, HeldEntry, COrvStringLess>;

// The findings of one folder. Past kMaxPerFile findings about one file (a missing part
// fails every entry after it) the rest are only counted, and Close says how many.
class Findings {
 public:
  explicit Findings(FolderVerification& folder) : folder_(folder) {}
  void Add(WStringView file, WStringView entry, WString problem, DWORD error = 0);
  void Close();

 private:
  static constexpr size_t kMaxPerFile = 100;
  FolderVerification& folder_;
  std::map<COrvString, size_t, COrvStringLess> perFile_;
};

// Bytes read against the bytes to read, passed to the caller's progress, which may
// cancel.
class ReadCount {
 public:
  ReadCount(const VerifyProgress& progress, uint64_t total) : progress_(progress), total_(total) {}
  // False once the caller has cancelled.
  bool Add(uint64_t bytes);
  bool Cancelled() const { return cancelled_; }

 private:
  const VerifyProgress& progress_;
  uint64_t total_;
  uint64_t done_ = 0;
  bool cancelled_ = false;
};

// Checks one .INP archive of the folder (any version; a sector image is only noted) and
// adds its entries to `held`.
void VerifyArchive(const FolderListing& listing, const ListedFile& archive, HeldEntries& held,
                   Findings& findings, ReadCount& count, FolderVerification& result);

// Opens a WIM file through the imaging engine, with its integrity check, and looks for
// at least one image in it.
void VerifyWim(const FolderListing& listing, const ListedFile& wim, Findings& findings);

// Checks one partition folder: its catalogues, the archives they name, and ALL.CRC
// against the entries the archives hold.
void VerifyPartitionFolder(const FolderListing& listing, ReadCount& count,
                           FolderVerification& result);

}  // namespace orv::verify
