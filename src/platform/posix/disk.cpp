// Disks of a Linux system: the block devices listed in /sys/block (loop, RAM and
// device-mapper devices left out), numbered in name order. Partitions come from sysfs;
// their type bytes and boot flags from the MBR partition table when the device can be
// read; mount points from /proc/self/mountinfo.
#include "platform/disk.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <map>

#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/little_endian.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/mount_table.h"
#include "platform/posix/volume_table.h"

namespace orv::os {

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kSysfsSector = 512;  // sysfs counts in 512-byte units on every device
constexpr uint8_t kGptProtective = 0xEE;
constexpr uint8_t kWindowsRecoveryType = 0x27;
constexpr int kMaxLogicalPartitions = 128;  // ends a looping chain of extended records

bool IsDiskName(const std::string& name) {
  for (const char* skipped : {"loop", "ram", "zram", "dm-", "sr", "fd", "md", "nbd"})
    if (name.rfind(skipped, 0) == 0) return false;
  return true;
}

std::vector<std::string> DiskNames() {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/sys/block", error)) {
    const std::string name = entry.path().filename().string();
    if (IsDiskName(name)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

uint64_t ReadNumber(const fs::path& file) {
  std::ifstream in(file);
  uint64_t value = 0;
  in >> value;
  return in ? value : 0;
}

std::string ReadLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

// "major:minor" of each mounted device, mapped to its mount point.
std::map<std::string, std::string> MountPoints() {
  std::map<std::string, std::string> points;
  for (const posix::MountEntry& mount : posix::ReadMountTable()) {
    if (mount.root != "/") continue;  // a bind mount of a sub-folder is not the volume
    points.emplace(mount.device, mount.mountPoint);  // the first mount of a device wins
  }
  return points;
}

struct TableEntry {
  uint8_t type = 0;
  bool active = false;
};

// Type bytes and boot flags by partition number, read from the MBR and the chain of
// extended boot records. Empty when the device cannot be read.
std::map<DWORD, TableEntry> ReadPartitionTable(const std::string& device, uint64_t sectorSize) {
  std::map<DWORD, TableEntry> table;
  const int fd = ::open(device.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return table;
  auto readSector = [&](uint64_t lba, std::array<uint8_t, 512>& sector) {
    return ::pread(fd, sector.data(), sector.size(), static_cast<off_t>(lba * sectorSize)) ==
               static_cast<ssize_t>(sector.size()) &&
           sector[510] == 0x55 && sector[511] == 0xAA;
  };
  std::array<uint8_t, 512> sector{};
  if (readSector(0, sector)) {
    uint64_t extendedStart = 0;
    for (DWORD i = 0; i < 4; ++i) {
      const uint8_t* entry = sector.data() + 446 + 16 * i;
      if (entry[4] == 0) continue;
      table[i + 1] = {entry[4], entry[0] == 0x80};
      if (entry[4] == 0x05 || entry[4] == 0x0F || entry[4] == 0x85)
        extendedStart = LoadLE<uint32_t>(entry + 8);
    }
    uint64_t next = extendedStart;
    for (int n = 0; extendedStart != 0 && n < kMaxLogicalPartitions; ++n) {
      if (!readSector(next, sector)) break;
      const uint8_t* entry = sector.data() + 446;
      if (entry[4] != 0) table[static_cast<DWORD>(5 + n)] = {entry[4], entry[0] == 0x80};
      const uint32_t link = LoadLE<uint32_t>(entry + 16 + 8);
      if (entry[16 + 4] == 0 || link == 0) break;
      next = extendedStart + link;
    }
  }
  ::close(fd);
  return table;
}

}  // namespace

DWORD QueryDisk(DWORD number, DiskInfo& disk) {
  disk = DiskInfo{};
  const std::vector<std::string> names = DiskNames();
  if (number >= names.size()) return err::kFileNotFound;
  const std::string& name = names[number];
  const fs::path base = fs::path("/sys/block") / name;

  disk.name = FromUtf8(ReadLine(base / "device" / "model"));
  while (!disk.name.empty() && disk.name.back() == ' ') disk.name.pop_back();
  if (disk.name.empty()) disk.name = FromUtf8(name);
  disk.size = ReadNumber(base / "size") * kSysfsSector;
  disk.sectorSize = std::max<uint64_t>(ReadNumber(base / "queue" / "logical_block_size"), 512);
  // Linux keeps no geometry; the translation every partitioning tool assumes.
  disk.trackSize = 63 * disk.sectorSize;
  disk.cylinderSize = 255 * disk.trackSize;

  const std::map<DWORD, TableEntry> table = ReadPartitionTable("/dev/" + name, disk.sectorSize);
  const bool gpt = table.size() == 1 && table.begin()->second.type == kGptProtective;
  const std::map<std::string, std::string> mounts = MountPoints();
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(base, error)) {
    const fs::path dir = entry.path();
    if (!fs::exists(dir / "partition")) continue;
    DiskPartitionInfo partition;
    partition.number = static_cast<DWORD>(ReadNumber(dir / "partition"));
    partition.offset = ReadNumber(dir / "start") * kSysfsSector;
    partition.size = ReadNumber(dir / "size") * kSysfsSector;
    partition.primary = gpt || partition.number <= 4;
    partition.device = FromUtf8("/dev/" + dir.filename().string());
    const auto found = table.find(partition.number);
    if (!gpt && found != table.end()) {
      partition.type = found->second.type;
      partition.active = found->second.active;
    } else {
      partition.type = 0x07;  // GPT data partitions and unreadable tables
    }
    partition.recovery = partition.type == kWindowsRecoveryType;
    const auto mount = mounts.find(ReadLine(dir / "dev"));
    // A mounted partition is reached through a drive letter, so that a walk of its
    // volume sees Windows-shaped paths as it does on Windows.
    if (mount != mounts.end()) partition.mountPoint = posix::DriveRootFor(mount->second);
    disk.partitions.push_back(std::move(partition));
  }
  std::sort(
      disk.partitions.begin(), disk.partitions.end(),
      [](const DiskPartitionInfo& a, const DiskPartitionInfo& b) { return a.offset < b.offset; });
  return err::kSuccess;
}

DWORD ReadPartitionStart(WStringView device, void* buffer, DWORD size) {
  const int fd = ::open(ToUtf8(device).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return posix::LastError();
  const ssize_t done = ::pread(fd, buffer, size, 0);
  const DWORD error = done < 0 ? posix::LastError() : err::kSuccess;
  ::close(fd);
  if (error == 0 && static_cast<DWORD>(done) != size) return err::kHandleEof;
  return error;
}

}  // namespace orv::os
