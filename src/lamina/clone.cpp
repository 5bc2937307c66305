#include "lamina/clone.h"

#include <algorithm>
#include <new>
#include <vector>

#include "lamina/drive_name.h"
#include "lamina/image_parts.h"
#include "lamina/used_extents.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/event.h"
#include "platform/raw_volume.h"

namespace orv::lamina {

namespace {

constexpr int kMode = 5;
constexpr DWORD kProgressSteps = 100;
constexpr DWORD kCopyChunk = 1 << 20;

// Reports the steps the copied bytes have reached; false when the routine says stop.
class StepReporter {
 public:
  StepReporter(VirtualDiskLibrary::Progress progress, uint64_t total)
      : progress_(progress), total_(total) {}

  bool Reach(uint64_t done) {
    const uint64_t steps = total_ == 0 ? kProgressSteps : done * kProgressSteps / total_;
    while (reported_ < steps) {
      ++reported_;
      if (progress_ != nullptr && progress_(0, 0, &counter_) == 0) return false;
    }
    return true;
  }

 private:
  VirtualDiskLibrary::Progress progress_;
  uint64_t total_;
  uint64_t reported_ = 0;
  DWORD counter_ = 0;
};

int Copy(os::RawVolume& raw, const VolumeUse& use, ImagePartsWriter& writer, uint64_t dataOffset,
         VirtualDiskLibrary::Progress progress, HANDLE stopEvent) {
  uint64_t total = 0;
  for (const Extent& extent : use.used) total += extent.length;
  StepReporter steps(progress, total);
  std::vector<uint8_t> buffer(kCopyChunk);
  uint64_t done = 0;
  for (const Extent& extent : use.used) {
    for (uint64_t at = 0; at < extent.length; at += kCopyChunk) {
      const DWORD length = static_cast<DWORD>(std::min<uint64_t>(kCopyChunk, extent.length - at));
      if (raw.Read(extent.offset + at, buffer.data(), length) != 0) return kCloneVolumeUnreadable;
      if (writer.Write(dataOffset + extent.offset + at, buffer.data(), length) != 0)
        return kCloneWriteFailed;
      done += length;
      if (stopEvent != nullptr && os::WaitEventHandle(stopEvent, 0)) return kCloneStopped;
      if (!steps.Reach(done)) return kCloneCancelled;
    }
  }
  return steps.Reach(total) ? kCloneDone : kCloneCancelled;
}

}  // namespace

int CloneUsedSectors(const char* drive, const char* target, int mode,
                     VirtualDiskLibrary::Progress progress, uint64_t partBytes,
                     HANDLE stopEvent) try {
  const Char letter = DriveLetterOf(drive);
  WString image;
  if (letter == 0 || target == nullptr || mode != kMode ||
      os::FromSystemCodePage(target, image) != 0 || image.empty())
    return kCloneBadArguments;
  const WString root{letter, ':', '\\'};
  os::RawVolume raw;
  if (raw.Open(root) != 0) return kCloneVolumeUnreadable;
  VolumeUse use;
  if (const DWORD error = ReadVolumeUse(root, raw, use))
    return error == err::kFileCorrupt ? kCloneVolumeDamaged : kCloneVolumeUnreadable;
  if (use.size == 0) return kCloneVolumeUnreadable;
  if (use.used.size() > kMaxExtents) return kCloneVolumeDamaged;

  SectorImageHeader header;
  header.sectorSize = use.sectorSize;
  header.partitionSize = use.size;
  header.dataOffset = DataOffsetFor(use.used.size());
  header.partSize = partBytes;
  header.extents = use.used;
  const std::vector<uint8_t> head = EncodeHeader(header);
  if (partBytes != 0 && partBytes < kSectorImageHeaderSize) return kCloneBadArguments;
  ImagePartsWriter writer(image, header.ImageSize(), partBytes);
  if (writer.Create() != 0) return kCloneTargetNotCreated;
  if (writer.Write(0, head.data(), static_cast<DWORD>(head.size())) != 0) return kCloneWriteFailed;
  if (const int result = Copy(raw, use, writer, header.dataOffset, progress, stopEvent))
    return result;
  return writer.Finish() == 0 ? kCloneDone : kCloneWriteFailed;
} catch (const std::bad_alloc&) {
  return kCloneNoMemory;
}

}  // namespace orv::lamina
