// The disk description file: disks, their partitions and the folder that serves as each
// partition's mounted volume, declared in an XML file (the format is in the README).
#include <algorithm>

#include "platform/case_fold.h"
#include "platform/errors.h"
#include "platform/volume.h"
#include "services/disk_source.h"
#include "services/hex.h"
#include "services/xml.h"

namespace orv {

namespace {

bool Flag(const IOrvXmlElement& element, WStringView name, bool fallback) {
  WString text;
  if (!ReadAttributeText(element, name, text)) return fallback;
  return os::CompareNoCase(text, ORV_T("TRUE")) == 0 ||
         os::CompareNoCase(text, ORV_T("YES")) == 0 || text == ORV_T("1");
}

WString Text(const IOrvXmlElement& element, WStringView name) {
  WString text;
  ReadAttributeText(element, name, text);
  return text;
}

// Two hexadecimal digits, as the layout file writes type bytes.
bool ParseTypeByte(const WString& text, BYTE& type) {
  if (text.empty() || text.size() > 2) return false;
  unsigned value = 0;
  for (const Char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0) return false;
    value = value * 16 + static_cast<unsigned>(digit);
  }
  type = static_cast<BYTE>(value);
  return true;
}

// The folder of a partition's volume becomes its mount point; with a drive letter the
// letter is mapped to the folder where the system allows it, so that the volume is
// reached as "X:\" like a real one, and answers for its space with the partition's size.
WString MountPointOf(const IOrvXmlElement& element, uint64_t size) {
  WString folder = Text(element, ORV_T("Folder"));
  if (folder.empty()) return folder;
  const WString drive = Text(element, ORV_T("Drive"));
  if (drive.size() == 1 && os::SetDriveFolder(drive[0], folder) == 0) {
    os::SetDriveSize(drive[0], size);
    return WString(1, os::ToUpper(drive[0])) + ORV_T(":\\");
  }
  if (folder.back() != '\\' && folder.back() != '/') folder += ORV_T("\\");
  return folder;
}

DWORD ReadPartition(const IOrvXmlElement& element, const DiskFacts& disk, PartitionFacts& facts) {
  ReadAttribute(element, ORV_T("Number"), facts.number);
  ReadAttribute(element, ORV_T("Offset"), facts.offset);
  ReadAttribute(element, ORV_T("Size"), facts.size);
  WString type = Text(element, ORV_T("Type"));
  if (!type.empty() && !ParseTypeByte(type, facts.type)) return err::kInvalidData;
  if (facts.size == 0 || facts.offset > disk.size || facts.size > disk.size - facts.offset)
    return err::kInvalidData;
  facts.primary = Flag(element, ORV_T("Primary"), true);
  facts.active = Flag(element, ORV_T("Active"), false);

  VolumeFacts& volume = facts.volume;
  volume.mountPoint = MountPointOf(element, facts.size);
  volume.folderVolume = !volume.mountPoint.empty();
  volume.mountable = Flag(element, ORV_T("Mountable"), !volume.mountPoint.empty());
  volume.fileSystem = Text(element, ORV_T("FileSystem"));
  volume.label = Text(element, ORV_T("Label"));
  volume.oemId = Text(element, ORV_T("OemId"));
  volume.windowsVersion = Text(element, ORV_T("WindowsVersion"));
  ReadAttribute(element, ORV_T("WindowsType"), volume.windowsType);
  volume.recovery = Flag(element, ORV_T("Recovery"), false);
  volume.haveUsedSpace = ReadAttribute(element, ORV_T("UsedSpace"), volume.usedSpace);
  return err::kSuccess;
}

DWORD ReadDisk(const IOrvXmlElement& element, DiskFacts& disk) {
  disk.name = Text(element, ORV_T("Name"));
  ReadAttribute(element, ORV_T("Size"), disk.size);
  ReadAttribute(element, ORV_T("SectorSize"), disk.sectorSize);
  ReadAttribute(element, ORV_T("TrackSize"), disk.trackSize);
  ReadAttribute(element, ORV_T("CylinderSize"), disk.cylinderSize);
  if (disk.size == 0 || disk.sectorSize == 0) return err::kInvalidData;
  IOrvXmlElement* raw = nullptr;
  for (DWORD error = element.FirstChild(raw); error == 0;) {
    XmlRef<IOrvXmlElement> child(raw);
    WString name;
    child->GetName(name);
    if (os::CompareNoCase(name, ORV_T("partition")) == 0) {
      PartitionFacts facts;
      if (const DWORD bad = ReadPartition(*child, disk, facts); bad != 0) return bad;
      disk.partitions.push_back(std::move(facts));
    }
    error = child->NextSibling(raw);
  }
  std::stable_sort(
      disk.partitions.begin(), disk.partitions.end(),
      [](const PartitionFacts& a, const PartitionFacts& b) { return a.offset < b.offset; });
  return err::kSuccess;
}

}  // namespace

DWORD ReadDescribedDisk(WStringView file, DWORD number, DiskFacts& disk) {
  XmlRef<IOrvXmlDocument> document(GetOrvXmlInterface(0));
  if (!document) return err::kNotSupported;
  DWORD error = document->Load(file);
  if (error != 0) return error;
  IOrvXmlElement* raw = nullptr;
  if ((error = document->GetRoot(raw)) != 0) return err::kInvalidData;
  XmlRef<IOrvXmlElement> root(raw);
  DWORD position = 0;
  for (error = root->FirstChild(raw); error == 0;) {
    XmlRef<IOrvXmlElement> child(raw);
    WString name;
    child->GetName(name);
    if (os::CompareNoCase(name, ORV_T("disk")) == 0) {
      DWORD declared = position++;
      ReadAttribute(*child, ORV_T("Number"), declared);
      if (declared == number) return ReadDisk(*child, disk);
    }
    error = child->NextSibling(raw);
  }
  return err::kFileNotFound;
}

}  // namespace orv
