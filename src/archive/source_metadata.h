// What the writer takes from a live file besides its content: the attribute block, the
// short name, the file identifier and the reparse record.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/file.h"
#include "vantrel/vantrel.h"

namespace orv::archive {

// The caller's attribute block when given, else the file system's for `path`.
DWORD SourceAttributes(WStringView path, const ORVFILEATTRIBUTEDATA* given,
                       ORVFILEATTRIBUTEDATA& attributes);
ORVFILEATTRIBUTEDATA AttributesOf(const os::FileInfo& info);
// Records `size`, the length of the file as opened for reading, as the entry's size, so
// that the stored content and the recorded size agree even when the file changed since
// its attributes were read (a reader refuses content of another length). An encrypted
// file keeps its own size: its content is the raw stream, of another length.
void RecordReadSize(ORVFILEATTRIBUTEDATA& attributes, uint64_t size);
ORVFILEATTRIBUTEDATA AttributeBlock(DWORD attributes, const os::FileTimes& times, uint64_t size);

// The 8.3 name of `path` (open as `file`, when given); empty when it has none or cannot
// be read.
WString SourceShortName(WStringView path, const os::File* file = nullptr);

// The security descriptor of `path`: owner, group, discretionary and system lists, or
// without the system list when that cannot be read (no security privilege); empty when
// none can be read.
std::vector<uint8_t> SourceDescriptor(WStringView path);

// How a reparse point is stored.
enum class ReparseStorage {
  kRecord,   // a link (name surrogate with the Microsoft bit): the reparse record itself
  kContent,  // anything else: its content, as an ordinary file or folder
};

// Opens the reparse point itself (logging "%s is a reparse point") and reads its data
// (bounded by the 17,000-byte buffer). Links give kRecord with the record bytes; other
// tags give kContent and a log line, because their content would be lost otherwise.
DWORD CaptureReparse(WStringView path, bool wantFileId, std::vector<uint8_t>& record,
                     uint64_t& fileId, ReparseStorage& storage);

// The volume file index of an open file; 0 when unavailable.
uint64_t FileIdOf(const os::File& file);
// Opens a folder with backup semantics to read its file index; 0 when that fails.
uint64_t FolderFileId(WStringView path);

}  // namespace orv::archive
