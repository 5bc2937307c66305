// Writes the layout of an imaged disk into MRL.XML.
#include "layout/layout_file.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "services/format.h"
#include "services/text_file.h"
#include "services/xml.h"

namespace orv {

namespace {

constexpr const Char* kTemplate =
    ORV_T("<?xml version=\"1.0\" encoding=\"utf-16\"?>\r\n<image>\r\n</image>\r\n");
constexpr size_t kMaxText = 259;  // texts of the disk service are taken into 260 characters

WString Limited(WStringView text) { return WString(text.substr(0, kMaxText)); }

const Char* TrueFalse(bool value) { return value ? ORV_T("TRUE") : ORV_T("FALSE"); }

bool IsContainerOrHidden(BYTE type) { return type == 0x05 || type == 0x0F || type == 0xDD; }

void WriteTime(IOrvXmlElement& root) {
  os::CalendarTime now;
  os::FileTimeToCalendar(os::FileTimeToLocal(os::CurrentFileTime()), now);
  WriteAttribute(root, ORV_T("Year"), DWORD{now.year});
  WriteAttribute(root, ORV_T("Month"), DWORD{now.month});
  WriteAttribute(root, ORV_T("Day"), DWORD{now.day});
  WriteAttribute(root, ORV_T("Hour"), DWORD{now.hour});
  WriteAttribute(root, ORV_T("Minute"), DWORD{now.minute});
  WriteAttribute(root, ORV_T("Second"), DWORD{now.second});
}

void WritePartition(IOrvXmlElement& element, const COrvPartition& partition, uint64_t usedSpace) {
  WriteAttribute(element, ORV_T("Number"), DWORD{partition.number});
  WriteAttribute(element, ORV_T("Starting_Offset"), uint64_t{partition.startingOffset});
  WriteAttribute(element, ORV_T("Size"), uint64_t{partition.size});
  WriteAttributeText(element, ORV_T("Type"), Format(ORV_T("%2.2X"), partition.type));
  WriteAttributeText(element, ORV_T("Primary"), TrueFalse(partition.primary != 0));
  const COrvVolume& volume = partition.GetVolume();
  if (IsContainerOrHidden(partition.type) || !volume.m_bMountable) {
    WriteAttributeText(element, ORV_T("Mountable"), TrueFalse(false));
    WriteAttributeText(element, ORV_T("Used_Space"), ORV_T("0"));
    return;
  }
  WriteAttributeText(element, ORV_T("Mountable"), TrueFalse(true));
  if (!volume.GetOEMID().empty())
    WriteAttributeText(element, ORV_T("SystemID"), Limited(volume.GetOEMID()));
  WriteAttributeText(element, ORV_T("VolumeName"), Limited(volume.GetVolumeName()));
  if (!volume.GetFileSystemName().empty())
    WriteAttributeText(element, ORV_T("FileSystem"), Limited(volume.GetFileSystemName()));
  if (!volume.GetWindowsVersion().empty()) {
    WriteAttributeText(element, ORV_T("Version"), Limited(volume.GetWindowsVersion()));
    WriteAttribute(element, ORV_T("Windows_Type"), int32_t{volume.GetVersionType()});
  } else {
    WriteAttributeText(element, ORV_T("Windows_Type"), ORV_T("-1"));
  }
  WriteAttribute(element, ORV_T("Used_Space"), usedSpace);
}

}  // namespace

DWORD WriteLayoutFile(WStringView path, const UsedSpaceTable& usedSpace, const COrvDisk& disk) {
  // An existing file keeps its content: the new disk element is added to it.
  const DWORD created = CreateUtf16TextFile(path, kTemplate);
  if (created != err::kSuccess && created != err::kFileExists) return created;

  XmlRef<IOrvXmlDocument> document(GetOrvXmlInterface(0));
  if (!document) return err::kNotSupported;
  if (const DWORD error = document->Load(path)) return error;
  IOrvXmlElement* raw = nullptr;
  if (const DWORD error = document->GetRoot(raw)) return error;
  XmlRef<IOrvXmlElement> root(raw);
  WriteTime(*root);
  WriteAttribute(*root, ORV_T("DiskCount"), DWORD{1});

  if (const DWORD error = root->AddChild(ORV_T("disk"), raw)) return error;
  XmlRef<IOrvXmlElement> diskElement(raw);
  WriteAttribute(*diskElement, ORV_T("Number"), DWORD{disk.number});
  WriteAttributeText(*diskElement, ORV_T("Name"), Limited(disk.GetName()));
  WriteAttribute(*diskElement, ORV_T("Size"), uint64_t{disk.size});

  for (DWORD i = 0; i < disk.GetPartitionCount(); ++i) {
    const COrvPartition partition = disk.GetPartitionAt(i);
    const auto used = usedSpace.find(partition.number);
    if (partition.size == 0 || partition.GetVolume().IsRecovery() || partition.unallocated ||
        used == usedSpace.end())
      continue;
    if (diskElement->AddChild(ORV_T("partition"), raw) != 0) continue;
    XmlRef<IOrvXmlElement> element(raw);
    WritePartition(*element, partition, used->second);
  }

  const COrvPartition recovery = disk.GetRecoveryPartition();
  if (recovery.size != 0 && diskElement->AddChild(ORV_T("recovery"), raw) == 0) {
    XmlRef<IOrvXmlElement> element(raw);
    WriteAttribute(*element, ORV_T("Starting_Offset"), uint64_t{recovery.startingOffset});
    WriteAttribute(*element, ORV_T("Size"), uint64_t{recovery.size});
    const WString& label = recovery.GetVolume().GetVolumeName();
    if (!label.empty()) WriteAttributeText(*element, ORV_T("VolumeName"), Limited(label));
  }
  // One save of the whole layout, which replaces the file only once it is written whole.
  return document->Save(0);
}

}  // namespace orv
