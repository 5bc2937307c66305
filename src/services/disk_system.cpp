// The system's disks through the platform layer, with what the mounted volumes tell
// about themselves.
#include <array>

#include "platform/disk.h"
#include "platform/file.h"
#include "platform/volume.h"
#include "services/disk_source.h"

namespace orv {

namespace {

WString JoinPath(const WString& folder, WStringView name) {
  WString path = folder;
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += ORV_T("\\");
  path += name;
  return path;
}

// The eight characters at offset 3 of a boot sector, without trailing blanks; empty when
// the sector cannot be read or holds no printable identifier.
WString ReadOemId(const WString& device) {
  std::array<uint8_t, 512> sector{};
  if (device.empty() || os::ReadPartitionStart(device, sector.data(), 512) != 0) return WString();
  WString id;
  for (size_t i = 3; i < 11; ++i) {
    if (sector[i] < 0x20 || sector[i] > 0x7E) return WString();
    id += static_cast<Char>(sector[i]);
  }
  while (!id.empty() && id.back() == ' ') id.pop_back();
  return id;
}

VolumeFacts ReadVolumeFacts(const os::DiskPartitionInfo& partition) {
  VolumeFacts facts;
  facts.mountPoint = partition.mountPoint;
  facts.recovery = partition.recovery;
  facts.oemId = ReadOemId(partition.device);
  if (facts.mountPoint.empty()) return facts;
  facts.mountable = true;
  os::VolumeInfo info;
  if (os::GetVolumeInfo(facts.mountPoint, info) == 0) {
    facts.fileSystem = info.fileSystem;
    facts.label = info.label;
  }
  DWORD attributes = 0;
  if (os::GetAttributes(JoinPath(facts.mountPoint, ORV_T("Windows\\System32")), attributes) == 0 &&
      (attributes & os::kAttrDirectory)) {
    facts.windowsVersion = ORV_T("Windows");
    facts.windowsType = 0;
  }
  return facts;
}

}  // namespace

DWORD ReadSystemDisk(DWORD number, DiskFacts& disk) {
  os::DiskInfo info;
  const DWORD error = os::QueryDisk(number, info);
  if (error != 0) return error;
  disk.name = info.name;
  disk.size = info.size;
  disk.sectorSize = info.sectorSize;
  if (info.trackSize != 0) disk.trackSize = info.trackSize;
  if (info.cylinderSize != 0) disk.cylinderSize = info.cylinderSize;
  for (const os::DiskPartitionInfo& partition : info.partitions) {
    PartitionFacts facts;
    facts.offset = partition.offset;
    facts.size = partition.size;
    facts.type = partition.type;
    facts.primary = partition.primary;
    facts.active = partition.active;
    facts.number = partition.number;
    facts.volume = ReadVolumeFacts(partition);
    disk.partitions.push_back(std::move(facts));
  }
  return 0;
}

}  // namespace orv
