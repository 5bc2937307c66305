// Disks of a Windows system: "\\.\PhysicalDrive<n>" with its geometry and partition
// layout, and the volumes whose extents lie on it for the mount points.
#include "platform/disk.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/win32/native.h"

namespace orv::os {

namespace {

constexpr BYTE kWindowsRecoveryType = 0x27;
constexpr BYTE kBasicDataType = 0x07;
// The partition type of Windows recovery partitions on GPT disks.
constexpr GUID kGptRecoveryGuid = {
    0xde94bba4, 0x06d1, 0x4d40, {0xa1, 0x6a, 0xbf, 0xd5, 0x01, 0x79, 0xd6, 0xac}};

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (valid()) ::CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

HANDLE OpenForQuery(const std::wstring& path) {
  return ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       0, nullptr);
}

// Runs a query control code with a buffer that grows until the answer fits.
DWORD Query(HANDLE device, DWORD code, std::vector<BYTE>& out) {
  out.assign(4096, 0);
  for (int attempt = 0; attempt < 8; ++attempt) {
    DWORD returned = 0;
    if (::DeviceIoControl(device, code, nullptr, 0, out.data(), static_cast<DWORD>(out.size()),
                          &returned, nullptr)) {
      out.resize(returned);
      return err::kSuccess;
    }
    const DWORD error = win32::LastError();
    if (error != ERROR_INSUFFICIENT_BUFFER && error != ERROR_MORE_DATA) return error;
    out.assign(out.size() * 4, 0);
  }
  return err::kInsufficientBuffer;
}

// The mount point (first path name) and device path of the volume whose single extent
// starts at `offset` on disk `number`.
void FindVolume(DWORD number, uint64_t offset, DiskPartitionInfo& partition) {
  wchar_t name[MAX_PATH] = {};
  HANDLE search = ::FindFirstVolumeW(name, MAX_PATH);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring volume = name;  // "\\?\Volume{...}\"
    if (volume.empty() || volume.back() != L'\\') continue;
    const std::wstring device = volume.substr(0, volume.size() - 1);
    Handle handle(OpenForQuery(device));
    if (!handle.valid()) continue;
    std::vector<BYTE> out;
    if (Query(handle.get(), IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, out) != 0 ||
        out.size() < sizeof(VOLUME_DISK_EXTENTS))
      continue;
    const auto* extents = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(out.data());
    if (extents->NumberOfDiskExtents != 1 || extents->Extents[0].DiskNumber != number ||
        static_cast<uint64_t>(extents->Extents[0].StartingOffset.QuadPart) != offset)
      continue;
    partition.device = device;
    wchar_t paths[MAX_PATH + 1] = {};
    DWORD length = 0;
    if (::GetVolumePathNamesForVolumeNameW(name, paths, MAX_PATH, &length))
      partition.mountPoint = paths;
    break;
  } while (::FindNextVolumeW(search, name, MAX_PATH));
  ::FindVolumeClose(search);
}

}  // namespace

DWORD QueryDisk(DWORD number, DiskInfo& disk) {
  disk = DiskInfo{};
  const std::wstring path = L"\\\\.\\PhysicalDrive" + std::to_wstring(number);
  Handle device(OpenForQuery(path));
  if (!device.valid()) return win32::LastError();

  std::vector<BYTE> out;
  DWORD error = Query(device.get(), IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, out);
  if (error != 0) return error;
  if (out.size() < offsetof(DISK_GEOMETRY_EX, DiskSize) + sizeof(LARGE_INTEGER))
    return err::kInvalidData;
  const auto* geometry = reinterpret_cast<const DISK_GEOMETRY_EX*>(out.data());
  disk.name = L"PhysicalDrive" + std::to_wstring(number);
  disk.size = static_cast<uint64_t>(geometry->DiskSize.QuadPart);
  disk.sectorSize = geometry->Geometry.BytesPerSector;
  disk.trackSize = uint64_t{geometry->Geometry.SectorsPerTrack} * disk.sectorSize;
  disk.cylinderSize = uint64_t{geometry->Geometry.TracksPerCylinder} * disk.trackSize;

  if ((error = Query(device.get(), IOCTL_DISK_GET_DRIVE_LAYOUT_EX, out)) != 0) return error;
  if (out.size() < offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry)) return err::kInvalidData;
  const auto* layout = reinterpret_cast<const DRIVE_LAYOUT_INFORMATION_EX*>(out.data());
  const size_t fits = (out.size() - offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry)) /
                      sizeof(PARTITION_INFORMATION_EX);
  const size_t count = layout->PartitionCount < fits ? layout->PartitionCount : fits;
  for (size_t i = 0; i < count; ++i) {
    const PARTITION_INFORMATION_EX& entry = layout->PartitionEntry[i];
    if (entry.PartitionLength.QuadPart == 0) continue;
    DiskPartitionInfo partition;
    partition.offset = static_cast<uint64_t>(entry.StartingOffset.QuadPart);
    partition.size = static_cast<uint64_t>(entry.PartitionLength.QuadPart);
    partition.number = entry.PartitionNumber;
    if (entry.PartitionStyle == PARTITION_STYLE_MBR) {
      if (entry.Mbr.PartitionType == 0 ||
          IsExtendedLink(i, entry.Mbr.PartitionType, entry.PartitionNumber))
        continue;
      partition.type = entry.Mbr.PartitionType;
      partition.active = entry.Mbr.BootIndicator != FALSE;
      partition.primary = i < 4;  // the first four entries are the table of the MBR
    } else {
      partition.recovery = ::IsEqualGUID(entry.Gpt.PartitionType, kGptRecoveryGuid) != FALSE;
      partition.type = partition.recovery ? kWindowsRecoveryType : kBasicDataType;
    }
    partition.recovery = partition.recovery || partition.type == kWindowsRecoveryType;
    FindVolume(number, partition.offset, partition);
    disk.partitions.push_back(std::move(partition));
  }
  std::sort(
      disk.partitions.begin(), disk.partitions.end(),
      [](const DiskPartitionInfo& a, const DiskPartitionInfo& b) { return a.offset < b.offset; });
  return err::kSuccess;
}

DWORD ReadPartitionStart(WStringView device, void* buffer, DWORD size) {
  Handle handle(::CreateFileW(std::wstring(device).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr));
  if (!handle.valid()) return win32::LastError();
  DWORD done = 0;
  if (!::ReadFile(handle.get(), buffer, size, &done, nullptr)) return win32::LastError();
  return done == size ? err::kSuccess : err::kHandleEof;
}

}  // namespace orv::os
