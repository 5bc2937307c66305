// Reads one disk of MRL.XML back into a disk record.
#include "layout/layout_file.h"
#include "platform/case_fold.h"
#include "services/format.h"
#include "services/log.h"
#include "services/xml.h"

namespace orv {

namespace {

// Hexadecimal digits up to the first other character; the low byte is kept.
BYTE ParseType(const WString& text) {
  unsigned value = 0;
  for (const Char c : text) {
    const Char upper = os::ToUpper(c);
    unsigned digit = 0;
    if (upper >= '0' && upper <= '9')
      digit = upper - '0';
    else if (upper >= 'A' && upper <= 'F')
      digit = upper - 'A' + 10;
    else
      break;
    value = ((value << 4) | digit) & 0xFF;
  }
  return static_cast<BYTE>(value);
}

bool NameIs(const IOrvXmlElement& element, const Char* name) {
  WString actual;
  return element.GetName(actual) == 0 && os::CompareNoCase(actual, name) == 0;
}

XmlRef<IOrvXmlElement> SelectDisk(const IOrvXmlDocument& document, const IOrvXmlElement& root,
                                  int diskNumber) {
  IOrvXmlElement* raw = nullptr;
  if (diskNumber != -1) {
    document.SelectNode(Format(ORV_T("image/disk[@Number='%u']"), diskNumber), raw);
    return XmlRef<IOrvXmlElement>(raw);
  }
  for (DWORD error = root.FirstChild(raw); error == 0;) {
    XmlRef<IOrvXmlElement> child(raw);
    if (NameIs(*child, ORV_T("disk"))) return child;
    error = child->NextSibling(raw);
  }
  return nullptr;
}

COrvPartition LoadPartition(const IOrvXmlElement& element, const COrvDisk& disk) {
  COrvPartition record;
  record.diskNumber = disk.number;
  record.diskSize = disk.size;
  WString text = ORV_T("TRUE");
  ReadAttributeText(element, ORV_T("Primary"), text);
  record.primary = os::CompareNoCase(text, ORV_T("TRUE")) == 0;
  record.number = 1;
  ReadAttribute(element, ORV_T("Number"), record.number);
  ReadAttribute(element, ORV_T("Starting_Offset"), record.startingOffset);
  ReadAttribute(element, ORV_T("Size"), record.size);
  ReadAttribute(element, ORV_T("Used_Space"), record.usedSpace);
  text = ORV_T("00");
  ReadAttributeText(element, ORV_T("Type"), text);
  record.type = ParseType(text);
  int32_t windowsType = -1;
  ReadAttribute(element, ORV_T("Windows_Type"), windowsType);
  record.windowsType = windowsType;
  record.active = windowsType != -1;
  text = ORV_T("NTFS");
  ReadAttributeText(element, ORV_T("FileSystem"), text);
  record.SetFileSystem(text);
  text = ORV_T("NULL");
  ReadAttributeText(element, ORV_T("VolumeName"), text);
  record.SetVolumeName(text);
  record.unallocated = 0;
  record.fixed = 0;
  return record;
}

COrvPartition LoadRecovery(const IOrvXmlElement& element, const COrvDisk& disk) {
  COrvPartition record;
  record.diskNumber = disk.number;
  record.diskSize = disk.size;
  record.SetVolumeName(ORV_T("RECOVERY"));
  record.number = 10;
  record.primary = 1;
  record.recovery = 1;
  record.startingOffset = 1;
  record.size = 1;
  ReadAttribute(element, ORV_T("Starting_Offset"), record.startingOffset);
  ReadAttribute(element, ORV_T("Size"), record.size);
  record.usedSpace = 0;
  record.type = 0x07;
  record.active = 0;
  record.windowsType = -1;
  record.unallocated = 0;
  return record;
}

void LoadDisk(const IOrvXmlDocument& document, int diskNumber, COrvDisk& disk) {
  IOrvXmlElement* raw = nullptr;
  if (document.GetRoot(raw) != 0) return;
  XmlRef<IOrvXmlElement> root(raw);
  XmlRef<IOrvXmlElement> diskElement = SelectDisk(document, *root, diskNumber);
  if (!diskElement) return;
  disk.size = 1;
  ReadAttribute(*diskElement, ORV_T("Size"), disk.size);
  disk.number = 0;
  ReadAttribute(*diskElement, ORV_T("Number"), disk.number);

  COrvLog& log = COrvLog::GetInstance();
  std::vector<COrvPartition> records;
  size_t partitions = 0;
  for (DWORD error = diskElement->FirstChild(raw); error == 0;) {
    XmlRef<IOrvXmlElement> child(raw);
    const bool partition = NameIs(*child, ORV_T("partition"));
    if (partition && partitions++ >= kMaxLayoutPartitions) {
      // More than a partition table holds: the file is damaged or hostile, and the rest
      // would only cost time (every record meets every other one later).
      if (partitions == kMaxLayoutPartitions + 1)
        log.AddError(ORV_T("Load: more than %u partitions; the rest is ignored"),
                     static_cast<DWORD>(kMaxLayoutPartitions));
    } else if (partition) {
      const COrvPartition record = LoadPartition(*child, disk);
      log.AddInfo(
          ORV_T("Load: Partition %d - Start: %I64u - Size: %I64u - Type: %2.2X - Active: %u"),
          record.number, record.startingOffset, record.size, record.type, record.active);
      records.push_back(record);
    } else if (NameIs(*child, ORV_T("recovery"))) {
      const COrvPartition record = LoadRecovery(*child, disk);
      log.AddInfo(
          ORV_T("Load: RP: Partition %d - Start: %I64u - Size: %I64u - Type: %2.2X - Active: %u"),
          record.number, record.startingOffset, record.size, record.type, record.active);
      records.push_back(record);
    }
    error = child->NextSibling(raw);
  }
  disk.AddPartitions(records);  // one sort instead of one linear insert per record
}

}  // namespace

BOOL LoadLayout(WStringView path, int diskNumber, COrvError& error, COrvDisk& disk) {
  XmlRef<IOrvXmlDocument> document(GetOrvXmlInterface(0));
  if (document && document->Load(path) == 0) LoadDisk(*document, diskNumber, disk);
  disk.trackSize = kLayoutTrackSize;
  disk.cylinderSize = kLayoutCylinderSize;
  disk.sectorSize = kLayoutSectorSize;
  ComputeFreeSpace(disk);
  error.SetError(0);
  return TRUE;
}

}  // namespace orv
