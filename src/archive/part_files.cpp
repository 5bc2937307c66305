#include "archive/part_files.h"

#include <new>

#include "archive/part_names.h"
#include "platform/errors.h"
#include "platform/little_endian.h"
#include "services/log.h"

namespace orv::archive {

void PartWriter::Reset(WStringView mainPath, DWORD number) {
  file_.Close();
  out_.Reset();
  mainPath_ = mainPath;
  number_ = number;
  position_ = 0;
  pointer_ = ~uint64_t{0};
}

DWORD PartWriter::NewPart() {
  if (DWORD error = Close()) return error;
  ++number_;
  const WString name = PartFileName(mainPath_, number_);
  // Whatever holds the name goes first as itself: a link planted there is replaced,
  // never written through.
  if (DWORD error = os::CreateNewFile(name, file_, os::kShareRead | os::kShareWrite)) return error;
  pointer_ = 0;
  COrvLog::GetInstance().AddInfo(ORV_T("New Split part: %s"), name);
  return err::kSuccess;
}

DWORD PartWriter::OpenForAppend(DWORD number) {
  number_ = number;
  // The part is opened as itself: a link at its name is refused, never written through.
  if (DWORD error = file_.Open(PartFileName(mainPath_, number_), os::kGenericRead | os::kGenericWrite,
                               os::kShareRead | os::kShareWrite, os::Disposition::kOpenAlways,
                               os::kAttrNormal | os::kOpenReparsePoint))
    return error;
  os::FileInfo info;
  if (DWORD error = file_.GetInfo(info)) {
    file_.Close();
    return error;
  }
  if (info.attributes & os::kAttrReparsePoint) {
    file_.Close();
    COrvLog::GetInstance().AddError(ORV_T("%s is a link: not written through"),
                                    PartFileName(mainPath_, number_));
    return err::kCantAccessFile;
  }
  pointer_ = 0;
  return file_.Size(position_);
}

DWORD PartWriter::SeekToPosition() {
  if (pointer_ == position_) return err::kSuccess;
  // The bytes of an entry that failed after the position are still waiting: drop them.
  const uint64_t waiting = out_.Pending();
  if (pointer_ != ~uint64_t{0} && position_ < pointer_ && pointer_ - position_ <= waiting) {
    out_.Truncate(static_cast<size_t>(waiting - (pointer_ - position_)));
    pointer_ = position_;
    return err::kSuccess;
  }
  if (DWORD error = out_.Flush(file_)) return error;
  const DWORD error = file_.Seek(static_cast<int64_t>(position_), os::SeekFrom::kBegin);
  pointer_ = error ? ~uint64_t{0} : position_;
  return error;
}

DWORD PartWriter::Write(const void* bytes, DWORD size) {
  const DWORD error = out_.Write(file_, bytes, size);
  pointer_ = error || pointer_ == ~uint64_t{0} ? ~uint64_t{0} : pointer_ + size;
  return error;
}

DWORD PartWriter::RotateIfPast(uint64_t splitSize) {
  return position_ <= splitSize ? err::kSuccess : StartNextPart();
}

DWORD PartWriter::Close() {
  // A part closed earlier may have lost its last bytes: that stays the answer.
  if (!file_.IsOpen()) return out_.Failure();
  DWORD error = out_.Flush(file_);
  if (!error) error = file_.Flush();
  file_.Close();
  pointer_ = ~uint64_t{0};
  return error;
}

DWORD BlockReader::Open(DWORD part, uint64_t offset, WStringView openFailure) {
  if (file_.IsOpen() && part == part_) {
    const DWORD error = file_.Seek(static_cast<int64_t>(offset), os::SeekFrom::kBegin);
    if (error) COrvLog::GetInstance().AddError(openFailure, part, error);
    return error;
  }
  file_.Close();
  part_ = part;
  DWORD error = part == 0 || part > lastPart_
                    ? err::kFileNotFound
                    : file_.Open(PartFileName(mainPath_, part), os::kGenericRead,
                                 os::kShareRead | os::kShareWrite, os::Disposition::kOpenExisting);
  if (!error) error = file_.Seek(static_cast<int64_t>(offset), os::SeekFrom::kBegin);
  if (error) {
    file_.Close();
    COrvLog::GetInstance().AddError(openFailure, part, error);
  }
  return error;
}

DWORD BlockReader::ReadLength(uint32_t& length, DWORD& done) {
  uint8_t bytes[4];
  done = 0;
  if (DWORD error = file_.Read(bytes, sizeof bytes, done)) {
    COrvLog::GetInstance().AddError(ORV_T("ReadFile (Block Size) - %u"), error);
    return error;
  }
  length = LoadLE<uint32_t>(bytes);
  return err::kSuccess;
}

DWORD BlockReader::ReadBlock(std::vector<uint8_t>& block, uint32_t maxLength) {
  COrvLog& log = COrvLog::GetInstance();
  uint32_t length = 0;
  DWORD done = 0;
  if (DWORD error = ReadLength(length, done)) return error;
  if (done == 0) {
    // The end of this part file: blocks go on at the start of the next one.
    file_.Close();
    ++part_;
    if (part_ > lastPart_) {
      log.AddError(ORV_T("Invalid Block - Part#%u"), part_);
      return err::kNoMoreItems;
    }
    if (DWORD error = file_.Open(PartFileName(mainPath_, part_), os::kGenericRead,
                                 os::kShareRead | os::kShareWrite, os::Disposition::kOpenExisting)) {
      log.AddError(ORV_T("Change Cannot part#%u - %u"), part_, error);
      return error;
    }
    if (DWORD error = ReadLength(length, done)) return error;
  }
  if (done != 4) {
    log.AddError(ORV_T("Invalid Block - Part#%u"), part_);
    return err::kNoMoreItems;
  }
  if (length > maxLength) {
    log.AddError(ORV_T("Block length %u too large - Part#%u"), length, part_);
    return err::kInternalError;
  }
  try {
    block.resize(length);
  } catch (const std::bad_alloc&) {
    log.AddError(ORV_T("Source buffer init failed"));
    return err::kNotEnoughMemory;
  }
  DWORD error = file_.Read(block.data(), length, done);
  if (!error && done != length) error = err::kHandleEof;
  if (error) log.AddError(ORV_T("ReadFile (Block) - %u"), error);
  return error;
}

}  // namespace orv::archive
