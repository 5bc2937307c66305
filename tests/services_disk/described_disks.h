// Disks declared in a description file for one test: the disk service reads them
// instead of the system's disks while the object lives.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "services/disk.h"
#include "services/disk_source.h"
#include "support/temp_folder.h"

namespace orv::test {

class DescribedDisks {
 public:
  // `disks` is the XML text of the <disk> elements.
  explicit DescribedDisks(const std::string& disks) {
    WriteFile(path_, "<?xml version=\"1.0\"?>\n<disks>\n" + disks + "</disks>\n");
    SetDiskDescriptionFile(path_);
  }
  ~DescribedDisks() { SetDiskDescriptionFile(ORV_T("")); }
  DescribedDisks(const DescribedDisks&) = delete;
  DescribedDisks& operator=(const DescribedDisks&) = delete;

  const WString& Path() const { return path_; }
  const TempFolder& Folder() const { return folder_; }

 private:
  TempFolder folder_;
  WString path_ = folder_ / ORV_T("disks.xml");
};

// A <partition> element with the usual attributes.
inline std::string PartitionXml(unsigned number, uint64_t offset, uint64_t size,
                                const char* type = "07", const std::string& extra = "") {
  return "<partition Number=\"" + std::to_string(number) + "\" Offset=\"" + std::to_string(offset) +
         "\" Size=\"" + std::to_string(size) + "\" Type=\"" + type + "\" " + extra + "/>\n";
}

inline std::string DiskXml(unsigned number, uint64_t size, const std::string& partitions) {
  return "<disk Number=\"" + std::to_string(number) + "\" Name=\"Test disk " +
         std::to_string(number) + "\" Size=\"" + std::to_string(size) + "\">\n" + partitions +
         "</disk>\n";
}

inline constexpr uint64_t kMiB = 1024 * 1024;
inline constexpr uint64_t kGiB = 1024 * kMiB;
inline constexpr uint64_t kTrack = 32256;
inline constexpr uint64_t kCylinder = 8225280;

// The partition records of a disk, in its order.
inline std::vector<COrvPartition> Records(const COrvDisk& disk) {
  std::vector<COrvPartition> records;
  for (DWORD i = 0; i < disk.GetPartitionCount(); ++i) records.push_back(disk.GetPartitionAt(i));
  return records;
}

}  // namespace orv::test
