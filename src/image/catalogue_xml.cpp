#include "image/catalogue_xml.h"

#include "image/catalogue_paths.h"
#include "platform/case_fold.h"
#include "platform/errors.h"
#include "services/format.h"
#include "services/log.h"
#include "services/text_file.h"

namespace orv {

namespace {

void AddFiles(IOrvXmlElement& root, const std::vector<WString>& files) {
  for (const WString& name : files) {
    IOrvXmlElement* raw = nullptr;
    if (root.AddChild(ORV_T("file"), raw) != 0) continue;
    XmlRef<IOrvXmlElement> child(raw);
    child->SetText(name);
  }
}

// Calls `take` for each child element of the root. The files are written with "file"
// elements, but readers take every child, whatever its name, as other writers' files
// may name them otherwise.
template <class Take>
void ForEachChild(const IOrvXmlElement& root, Take take) {
  IOrvXmlElement* raw = nullptr;
  for (DWORD error = root.FirstChild(raw); error == 0;) {
    XmlRef<IOrvXmlElement> child(raw);
    take(*child);
    error = child->NextSibling(raw);
  }
}

DWORD LoadRoot(WStringView path, CatalogueDocument& catalogue) {
  catalogue.document.reset(GetOrvXmlInterface(0));
  if (!catalogue.document) return err::kNotSupported;
  DWORD error = catalogue.document->Load(path);
  if (error != 0) return error;
  IOrvXmlElement* raw = nullptr;
  if ((error = catalogue.document->GetRoot(raw)) != 0) return error;
  catalogue.root.reset(raw);
  return err::kSuccess;
}

// Saves the catalogue; a failure is logged and returned.
DWORD SaveLogged(CatalogueDocument& catalogue) {
  const DWORD error = catalogue.Save();
  if (error != 0)
    COrvLog::GetInstance().AddError(ORV_T("Cannot save the catalogue - %u (%8.8X)"), error, error);
  return error;
}

}  // namespace

CatalogueDocument OpenCatalogueDocument(WStringView path, WStringView rootName) {
  const WString root(rootName);
  CreateUtf16TextFile(
      path, Format(ORV_T("<?xml version=\"1.0\" encoding=\"utf-16\"?>\r\n<%s>\r\n</%s>\r\n"), root,
                   root));
  CatalogueDocument catalogue;
  if (LoadRoot(path, catalogue) != 0) return CatalogueDocument{};
  return catalogue;
}

DWORD FinishBaseCatalogue(CatalogueDocument& base, uint64_t size,
                          const std::vector<WString>& files) {
  if (!base.IsOpen()) return err::kInvalidHandle;
  WriteAttribute(*base.root, ORV_T("Size"), size);
  AddFiles(*base.root, files);
  return SaveLogged(base);
}

namespace {

// The folder's end time, byte total and file count (under `countName`), and its files.
DWORD FinishDatedCatalogue(CatalogueDocument& base, uint64_t size, WStringView countName,
                           DWORD fileCount, const os::CalendarTime& finished,
                           const std::vector<WString>& files) {
  if (!base.IsOpen()) return err::kInvalidHandle;
  IOrvXmlElement& root = *base.root;
  WriteAttributeText(root, ORV_T("Year"), Format(ORV_T("%u"), finished.year));
  WriteAttributeText(root, ORV_T("Month"), Format(ORV_T("%u"), finished.month));
  WriteAttributeText(root, ORV_T("Day"), Format(ORV_T("%u"), finished.day));
  WriteAttributeText(root, ORV_T("Hour"), Format(ORV_T("%u"), finished.hour));
  WriteAttributeText(root, ORV_T("Minute"), Format(ORV_T("%u"), finished.minute));
  WriteAttributeText(root, ORV_T("Second"), Format(ORV_T("%u"), finished.second));
  WriteAttribute(root, ORV_T("Size"), size);
  WriteAttribute(root, countName, fileCount);
  AddFiles(root, files);
  return SaveLogged(base);
}

}  // namespace

DWORD FinishDifferentialBaseCatalogue(CatalogueDocument& base, uint64_t size, DWORD fileCount,
                                      const os::CalendarTime& finished,
                                      const std::vector<WString>& files) {
  return FinishDatedCatalogue(base, size, ORV_T("Files"), fileCount, finished, files);
}

DWORD FinishRecoveryPointCatalogue(CatalogueDocument& base, uint64_t size, DWORD fileCount,
                                   const os::CalendarTime& finished,
                                   const std::vector<WString>& files) {
  return FinishDatedCatalogue(base, size, ORV_T("File"), fileCount, finished, files);
}

bool AddDeletedEntry(CatalogueDocument& deletions, WStringView relativePath, bool directory) {
  const size_t slash = relativePath.rfind('\\');
  if (slash == WStringView::npos) return false;  // an entry at the volume root
  if (os::CompareNoCase(relativePath.substr(slash + 1), ORV_T("QUEN.DAV")) == 0) return false;
  if (relativePath.size() >= 8 &&
      os::CompareNoCase(relativePath.substr(0, 8), ORV_T("SYSPREP\\")) == 0)
    return false;
  return ListDeletedPath(deletions, WString(ORV_T("\\")) + WString(relativePath), directory);
}

bool ListDeletedPath(CatalogueDocument& deletions, WStringView path, bool directory) {
  if (!deletions.IsOpen()) return false;
  IOrvXmlElement* raw = nullptr;
  if (deletions.root->AddChild(ORV_T("file"), raw) != 0) return false;
  XmlRef<IOrvXmlElement> child(raw);
  child->SetText(path);
  WriteAttributeText(*child, ORV_T("Directory"), directory ? ORV_T("TRUE") : ORV_T("FALSE"));
  return true;
}

DWORD ReadBaseCatalogue(WStringView path, BaseCatalogue& catalogue) {
  catalogue = BaseCatalogue{};
  CatalogueDocument document;
  const DWORD error = LoadRoot(path, document);
  if (error != 0) return error;
  ReadAttribute(*document.root, ORV_T("Size"), catalogue.size);
  ForEachChild(*document.root, [&](const IOrvXmlElement& file) {
    WString name;
    file.GetText(name);
    if (name.empty()) return;
    if (IsPlainFileName(name)) {
      catalogue.files.push_back(name);
    } else {
      COrvLog::GetInstance().AddError(ORV_T("Archive name %s is not a file of the folder"), name);
      catalogue.refused.push_back(name);
    }
  });
  return err::kSuccess;
}

os::CalendarTime ReadCatalogueDate(WStringView path) {
  DWORD year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  CatalogueDocument document;
  if (LoadRoot(path, document) == 0) {
    ReadAttribute(*document.root, ORV_T("Year"), year);
    ReadAttribute(*document.root, ORV_T("Month"), month);
    ReadAttribute(*document.root, ORV_T("Day"), day);
    ReadAttribute(*document.root, ORV_T("Hour"), hour);
    ReadAttribute(*document.root, ORV_T("Minute"), minute);
    ReadAttribute(*document.root, ORV_T("Second"), second);
  }
  os::CalendarTime date;
  date.year = static_cast<uint16_t>(year);
  date.month = static_cast<uint16_t>(month);
  date.day = static_cast<uint16_t>(day);
  date.hour = static_cast<uint16_t>(hour);
  date.minute = static_cast<uint16_t>(minute);
  date.second = static_cast<uint16_t>(second);
  return date;
}

DWORD ReadDeletionList(WStringView path, std::vector<DeletedEntry>& entries,
                       std::vector<WString>* refused) {
  entries.clear();
  CatalogueDocument document;
  const DWORD error = LoadRoot(path, document);
  if (error != 0) return error;
  ForEachChild(*document.root, [&](const IOrvXmlElement& file) {
    WString text;
    file.GetText(text);
    if (text.empty()) return;
    const std::optional<WString> relative = SafeRelativePath(text);
    if (!relative) {
      COrvLog::GetInstance().AddError(ORV_T("Deletion entry %s is outside the volume"), text);
      if (refused) refused->push_back(text);
      return;
    }
    WString flag;
    ReadAttributeText(file, ORV_T("Directory"), flag);
    entries.push_back({*relative, os::CompareNoCase(flag, ORV_T("TRUE")) == 0});
  });
  return err::kSuccess;
}

}  // namespace orv
