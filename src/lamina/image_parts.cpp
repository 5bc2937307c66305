#include "lamina/image_parts.h"

#include "archive/part_names.h"
#include "platform/errors.h"

namespace orv::lamina {

namespace {

// A whole read or write, in pieces the platform takes.
DWORD WriteAt(os::File& file, uint64_t offset, const uint8_t* bytes, DWORD size) {
  if (const DWORD error = file.Seek(static_cast<int64_t>(offset), os::SeekFrom::kBegin))
    return error;
  DWORD done = 0;
  if (const DWORD error = file.Write(bytes, size, done)) return error;
  return done == size ? err::kSuccess : err::kDiskFull;
}

DWORD ReadAt(os::File& file, uint64_t offset, uint8_t* bytes, DWORD size) {
  if (const DWORD error = file.Seek(static_cast<int64_t>(offset), os::SeekFrom::kBegin))
    return error;
  DWORD done = 0;
  if (const DWORD error = file.Read(bytes, size, done)) return error;
  return done == size ? err::kSuccess : err::kHandleEof;
}

// Walks a run of image bytes part by part: `step` gets the part, the offset in it, the
// position in the run and the length that part holds.
template <class Step>
DWORD ForEachPiece(uint64_t partSize, uint64_t offset, DWORD size, Step step) {
  DWORD done = 0;
  while (done < size) {
    const uint64_t at = offset + done;
    const size_t index = partSize == 0 ? 0 : static_cast<size_t>(at / partSize);
    const uint64_t inPart = partSize == 0 ? at : at % partSize;
    uint64_t length = size - done;
    if (partSize != 0 && length > partSize - inPart) length = partSize - inPart;
    if (const DWORD error = step(index, inPart, done, static_cast<DWORD>(length))) return error;
    done += static_cast<DWORD>(length);
  }
  return err::kSuccess;
}

}  // namespace

WString ImagePartName(WStringView image, size_t index) {
  return index == 0 ? WString(image) : archive::PartFileName(image, static_cast<DWORD>(index));
}

ImagePartsWriter::~ImagePartsWriter() {
  if (finished_) return;
  for (size_t index = 0; index < parts_.size(); ++index) {
    if (!parts_[index]) continue;
    parts_[index]->Close();
    os::DeleteFile(ImagePartName(image_, index));
  }
}

size_t ImagePartsWriter::PartCount() const {
  if (partSize_ == 0 || size_ == 0) return 1;
  return static_cast<size_t>((size_ + partSize_ - 1) / partSize_);
}

uint64_t ImagePartsWriter::PartLength(size_t index) const {
  if (partSize_ == 0) return size_;
  const uint64_t start = uint64_t{index} * partSize_;
  return size_ - start < partSize_ ? size_ - start : partSize_;
}

DWORD ImagePartsWriter::Create() {
  os::File* file = nullptr;
  return Part(0, file);
}

DWORD ImagePartsWriter::Part(size_t index, os::File*& file) {
  if (index >= PartCount()) return err::kInvalidParameter;
  while (parts_.size() <= index) {
    auto part = std::make_unique<os::File>();
    const DWORD error =
        part->Open(ImagePartName(image_, parts_.size()), os::kGenericRead | os::kGenericWrite, 0,
                   os::Disposition::kCreateNew, os::kAttrNormal | os::kOpenReparsePoint);
    if (error) return error;
    part->SetSparse();  // a file system without holes holds the zeros instead
    parts_.push_back(std::move(part));
  }
  file = parts_[index].get();
  return err::kSuccess;
}

DWORD ImagePartsWriter::Write(uint64_t offset, const uint8_t* bytes, DWORD size) {
  if (offset > size_ || size > size_ - offset) return err::kInvalidParameter;
  return ForEachPiece(partSize_, offset, size,
                      [&](size_t index, uint64_t inPart, DWORD at, DWORD length) {
                        os::File* file = nullptr;
                        if (const DWORD error = Part(index, file)) return error;
                        return WriteAt(*file, inPart, bytes + at, length);
                      });
}

DWORD ImagePartsWriter::Finish() {
  for (size_t index = 0; index < PartCount(); ++index) {
    os::File* file = nullptr;
    if (const DWORD error = Part(index, file)) return error;
    if (const DWORD error = file->Seek(static_cast<int64_t>(PartLength(index)), os::SeekFrom::kBegin))
      return error;
    if (const DWORD error = file->SetEnd()) return error;
    if (const DWORD error = file->Flush()) return error;
  }
  for (auto& part : parts_) part->Close();
  finished_ = true;
  return err::kSuccess;
}

DWORD ImagePartsReader::Open(WStringView image) {
  parts_.clear();
  auto first = std::make_unique<os::File>();
  if (const DWORD error = first->Open(image, os::kGenericRead, os::kShareRead,
                                      os::Disposition::kOpenExisting))
    return error;
  uint64_t firstSize = 0;
  if (const DWORD error = first->Size(firstSize)) return error;
  uint8_t fixed[kSectorImageHeaderSize];
  if (firstSize < sizeof(fixed) || ReadAt(*first, 0, fixed, sizeof(fixed)) != 0)
    return err::kInvalidData;
  parts_.push_back(std::move(first));
  // The part size decides how many files there must be; each but the last is full, and
  // together they hold exactly the image the header describes.
  uint64_t extentCount = 0;
  if (const DWORD error = DecodeFixedFields(fixed, header_, extentCount)) return error;
  const uint64_t wanted = header_.ImageSize();
  const uint64_t partSize = header_.partSize;
  uint64_t total = firstSize;
  if (partSize != 0) {
    if (firstSize != (wanted < partSize ? wanted : partSize)) return err::kInvalidData;
    while (total < wanted) {
      auto part = std::make_unique<os::File>();
      if (part->Open(ImagePartName(image, parts_.size()), os::kGenericRead, os::kShareRead,
                     os::Disposition::kOpenExisting) != 0)
        return err::kInvalidData;
      uint64_t size = 0;
      if (part->Size(size) != 0) return err::kInvalidData;
      if (size != (wanted - total < partSize ? wanted - total : partSize)) return err::kInvalidData;
      total += size;
      parts_.push_back(std::move(part));
    }
  }
  if (total != wanted) return err::kInvalidData;
  std::vector<uint8_t> table(static_cast<size_t>(extentCount * kExtentEntrySize));
  if (!table.empty() && Read(kSectorImageHeaderSize, table.data(),
                             static_cast<DWORD>(table.size())) != 0)
    return err::kInvalidData;
  return DecodeExtents(table.data(), extentCount, header_);
}

DWORD ImagePartsReader::Read(uint64_t offset, uint8_t* bytes, DWORD size) {
  return ForEachPiece(header_.partSize, offset, size,
                      [&](size_t index, uint64_t inPart, DWORD at, DWORD length) {
                        if (index >= parts_.size()) return err::kHandleEof;
                        return ReadAt(*parts_[index], inPart, bytes + at, length);
                      });
}

}  // namespace orv::lamina
