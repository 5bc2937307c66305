// BASE.XML, the list of the archive and WIM files of an image folder with its byte total,
// and DEL.XML, the entries a differential image deleted since its reference. Both are
// created from a literal template (never over an existing file) and filled through the
// XML service.
#pragma once

#include <vector>

#include "platform/clock.h"
#include "services/xml.h"

namespace orv {

struct CatalogueDocument {
  XmlRef<IOrvXmlDocument> document;
  XmlRef<IOrvXmlElement> root;
  bool IsOpen() const { return document && root; }
  // Saves the file in place atomically; the error goes to the caller, which fails.
  [[nodiscard]] DWORD Save() { return document ? document->Save(0) : 6; }
};

// Creates the file with its template (root element `rootName`) when it is missing, then
// loads it. A document that cannot be had leaves both members empty.
CatalogueDocument OpenCatalogueDocument(WStringView path, WStringView rootName);

// Full image folder: "Size" and one "file" child per archive, then saved (atomically,
// through the XML service). Returns the error of the save, which fails the caller's
// operation; 6 when the document is not open.
[[nodiscard]] DWORD FinishBaseCatalogue(CatalogueDocument& base, uint64_t size,
                                        const std::vector<WString>& files);
// Differential image folder: also "Files" and the local time of the end.
[[nodiscard]] DWORD FinishDifferentialBaseCatalogue(CatalogueDocument& base, uint64_t size,
                                                    DWORD fileCount,
                                                    const os::CalendarTime& finished,
                                                    const std::vector<WString>& files);
// Recovery point folder: the same, with the count under the attribute "File".
[[nodiscard]] DWORD FinishRecoveryPointCatalogue(CatalogueDocument& base, uint64_t size,
                                                 DWORD fileCount, const os::CalendarTime& finished,
                                                 const std::vector<WString>& files);

// Lists one deleted entry (path relative to the volume root) in DEL.XML. Entries at the
// root, files named QUEN.DAV and anything under SYSPREP\ are never listed (false).
bool AddDeletedEntry(CatalogueDocument& deletions, WStringView relativePath, bool directory);
// Lists one deleted path in DEL.XML as it is given ("\dir\file"), without the rules above:
// recovery points list every path that went.
bool ListDeletedPath(CatalogueDocument& deletions, WStringView path, bool directory);

struct BaseCatalogue {
  uint64_t size = 0;
  std::vector<WString> files;
  std::vector<WString> refused;  // "file" texts that name no file of the folder
};
// Reads BASE.XML. File names that are not plain names of the folder are left out of
// `files` and kept in `refused`.
DWORD ReadBaseCatalogue(WStringView path, BaseCatalogue& catalogue);

// The date a differential set's BASE.XML records on its root, each field defaulting to
// 1970-01-01 00:00:00 when missing or unreadable.
os::CalendarTime ReadCatalogueDate(WStringView path);

struct DeletedEntry {
  WString path;  // relative to the volume root, without leading backslash
  bool directory = false;
};
// Reads DEL.XML. Entries whose path would reach outside the volume are left out (and,
// where `refused` is given, listed there as written).
DWORD ReadDeletionList(WStringView path, std::vector<DeletedEntry>& entries,
                       std::vector<WString>* refused = nullptr);

}  // namespace orv
