// The files of a sector image: the named file and its parts, seen as one run of bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "lamina/sector_image.h"
#include "platform/file.h"

namespace orv::lamina {

// The name of part `index` (0 is the named file itself).
WString ImagePartName(WStringView image, size_t index);

// Writes an image of `size` bytes cut at `partSize` (0: one file). Every part is created
// new (never through a link, never over an existing file) and sparse; bytes never written
// stay holes. What Finish has not completed is deleted when the writer goes.
class ImagePartsWriter {
 public:
  ImagePartsWriter(WString image, uint64_t size, uint64_t partSize)
      : image_(std::move(image)), size_(size), partSize_(partSize) {}
  ~ImagePartsWriter();
  ImagePartsWriter(const ImagePartsWriter&) = delete;
  ImagePartsWriter& operator=(const ImagePartsWriter&) = delete;

  // Creates the named file: 80 when it exists already.
  DWORD Create();
  DWORD Write(uint64_t offset, const uint8_t* bytes, DWORD size);
  // Creates the parts no write reached, gives each its full length and closes them.
  DWORD Finish();

 private:
  DWORD Part(size_t index, os::File*& file);
  uint64_t PartLength(size_t index) const;
  size_t PartCount() const;

  WString image_;
  uint64_t size_;
  uint64_t partSize_;
  std::vector<std::unique_ptr<os::File>> parts_;
  bool finished_ = false;
};

// Reads a sector image and checks its header against the files it has.
class ImagePartsReader {
 public:
  // 2 when the named file is missing; 13 when the header is no sector image's or claims
  // more than the files hold (a part missing or of the wrong length included).
  DWORD Open(WStringView image);
  const SectorImageHeader& Header() const { return header_; }
  // Exactly `size` bytes at image offset `offset`.
  DWORD Read(uint64_t offset, uint8_t* bytes, DWORD size);

 private:
  DWORD ReadTable();

  std::vector<std::unique_ptr<os::File>> parts_;
  SectorImageHeader header_;
};

}  // namespace orv::lamina
