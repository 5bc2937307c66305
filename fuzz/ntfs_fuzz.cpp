// Fuzz target: the bytes are an NTFS volume image (reads past their end give zeros up to
// 2 MiB, so a seed may leave off the empty tail). The master-file-table reader opens
// it, lists every entry and copies every file it lists. Any crash, leak, endless loop or
// unbounded allocation is a finding.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "platform/process.h"
#include "services/ntfs.h"

namespace {

constexpr uint64_t kImageSize = 2 * 1024 * 1024;

class FuzzImage : public orv::ntfs::SectorSource {
 public:
  FuzzImage(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  DWORD Read(uint64_t offset, void* buffer, DWORD size) override {
    if (offset > kImageSize || size > kImageSize - offset) return 38;
    std::memset(buffer, 0, size);
    if (offset < size_) {
      const uint64_t available = size_ - offset;
      std::memcpy(buffer, data_ + offset, size < available ? size : available);
    }
    return 0;
  }

 private:
  const uint8_t* data_;
  size_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const orv::WString copy = orv::os::GetTempFolder() + ORV_T("vantrel-ntfs-fuzz.out");
  orv::COrvNtfs ntfs;
  if (!ntfs.OpenVolume(std::make_unique<FuzzImage>(data, size))) return 0;
  orv::NtfsEntry entry;
  for (BOOL more = ntfs.FindFirstEntry(entry); more; more = ntfs.FindNextEntry(entry))
    if (!(entry.attributes & 0x10)) ntfs.CopyFileMFT(entry.fileReference, copy);
  return 0;
}
