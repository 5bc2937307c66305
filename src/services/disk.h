// The disk service: disks, their partitions (with the stretches of free space between
// them) and the volumes on the partitions. Records are values: a disk record holds a
// list of partition records that stays ordered by starting offset, and the comparison
// of layouts fills disk records of its own through AddPartition.
//
// Where the facts come from is the disk source's business (services/disk_source.h):
// the system's disks, or the disks declared in a description file.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/text.h"
#include "vantrel/vantrel.h"

namespace orv {

// What is known of the volume on a partition.
struct VolumeFacts {
  WString mountPoint;  // a drive root ("C:\") or a folder; empty when not mounted
  WString fileSystem;  // empty when the volume carries no file system
  WString label;
  WString oemId;           // OEM identifier of the boot sector
  WString windowsVersion;  // empty when the volume holds no Windows
  int32_t windowsType = -1;
  bool recovery = false;
  bool mountable = false;
  bool haveUsedSpace = false;
  uint64_t usedSpace = 0;
  // The mount point is a folder standing in for the volume: its used space is what the
  // files below it take, not what the file system that holds it has in use.
  bool folderVolume = false;
};

class COrvVolume {
 public:
  COrvVolume() = default;
  explicit COrvVolume(VolumeFacts facts)
      : facts_(std::move(facts)), m_bMountable(facts_.mountable) {}

  BOOL IsRecovery() const { return facts_.recovery; }
  BOOL IsFormated() const { return !facts_.fileSystem.empty(); }
  BOOL IsWindows() const { return !facts_.windowsVersion.empty(); }
  // The Windows version type of the installation on the volume; -1 when none.
  int GetVersionType() const { return IsWindows() ? facts_.windowsType : -1; }
  const WString& GetWindowsVersion() const { return facts_.windowsVersion; }
  const WString& GetOEMID() const { return facts_.oemId; }
  const WString& GetVolumeName() const { return facts_.label; }
  const WString& GetFileSystemName() const { return facts_.fileSystem; }
  const WString& GetVolumeMountPoint() const { return facts_.mountPoint; }
  // Bytes in use: as declared, else measured on the mounted volume (or the files of a
  // folder that stands in for it). False when neither.
  bool GetUsedSpace(uint64_t& used) const;

 private:
  VolumeFacts facts_;

 public:
  BOOL m_bMountable = FALSE;
};

class COrvPartition {
 public:
  const COrvVolume& GetVolume() const { return volume_; }
  void SetVolume(const COrvVolume& volume) { volume_ = volume; }
  const WString& GetFileSystem() const { return fileSystem_; }
  const WString& GetVolumeName() const { return volumeName_; }
  void SetFileSystem(WStringView name) { fileSystem_ = name; }
  void SetVolumeName(WStringView name) { volumeName_ = name; }
  bool IsExtended() const { return type == 0x05 || type == 0x0F; }
  // The first byte after the partition; never wraps past the largest offset.
  uint64_t End() const {
    return size > UINT64_MAX - startingOffset ? UINT64_MAX : startingOffset + size;
  }

  uint64_t diskSize = 0;
  uint64_t startingOffset = 0;
  uint64_t size = 0;  // 0: the record is empty
  uint64_t usedSpace = 0;
  BYTE type = 0;
  DWORD active = 0;
  DWORD unallocated = 0;
  DWORD primary = 0;
  DWORD fixed = 0;
  DWORD index = 0;
  DWORD number = 0;
  DWORD diskNumber = 0;
  DWORD status = 0;
  DWORD recovery = 0;
  LONG windowsType = -1;

 private:
  COrvVolume volume_;
  WString fileSystem_;
  WString volumeName_;
};

class COrvDisk {
 public:
  // Reads the disk's size and geometry; the partitions come with Enumerate.
  BOOL Open(DWORD diskNumber);
  // Reads the partition list of the open disk and adds the free stretches.
  BOOL Enumerate();
  void Close();
  const WString& GetName() const { return name_; }
  DWORD GetLastErrorCode() const { return m_Error.GetError(); }

  DWORD GetPartitionCount() const { return static_cast<DWORD>(partitions_.size()); }
  // A copy of the record; an empty record past the end.
  COrvPartition GetPartitionAt(DWORD index) const;
  void AddPartition(const COrvPartition& partition);
  // Adds many records at once, in one sort by starting offset (records with equal
  // offsets keep the order AddPartition would give them, after those already there).
  void AddPartitions(const std::vector<COrvPartition>& partitions);
  void RemovePartitionInformation(DWORD index);
  void RemovePartitionInformationAtOffset(uint64_t offset);
  void RemoveAllPartitions() { partitions_.clear(); }

  // Size 0 when the disk has none.
  COrvPartition GetRecoveryPartition() const;
  COrvPartition GetExtendedPartition() const;
  // The partition of that kind (primary, which includes the extended partition, or
  // logical; or only the extended partition) that holds the byte at `fraction` of the
  // disk's size, else the first one after it.
  COrvPartition GetPartitionAroundRelativePosition(double fraction, BOOL primary,
                                                   BOOL extended) const;
  // The free stretch that holds the byte at `fraction`, or the first that starts at or
  // after it.
  COrvPartition GetUnallocatedSpaceAtRelativePosition(double fraction) const;
  COrvPartition GetUnallocatedSpaceAfterRelativePosition(double fraction) const;

  DWORD number = 0;
  uint64_t size = 0;
  uint64_t cylinderSize = 0;
  uint64_t trackSize = 0;
  uint64_t sectorSize = 512;
  COrvError m_Error;

 private:
  uint64_t OffsetAt(double fraction) const;

  bool open_ = false;
  WString name_;
  std::vector<COrvPartition> found_;  // the partitions read by Open
  std::vector<COrvPartition> partitions_;
};

// Adds a free-space record for each gap larger than the disk's cylinder size among the
// records of one kind (primary, or logical between `cursor` and `end`) and returns the
// records added. `counter` numbers them and grows by one per record.
std::vector<COrvPartition> AddFreeSpaceRecords(COrvDisk& disk, bool primary, uint64_t cursor,
                                               uint64_t end, DWORD& counter);

}  // namespace orv
