// COrvMorlet: the library's own archive format (.INP), writer and reader.
//
// One object opens one archive at a time, for reading (mode 1) or writing (mode 0), in
// version 1, 2, 5 or 6. The operations of each version live in their own files:
// morlet.cpp (open, close, accessors), morlet_v56_*.cpp, morlet_v2.cpp, morlet_v1.cpp;
// morlet_interface.cpp runs each exported operation so that no exception leaves it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "archive/block_buffers.h"
#include "archive/format.h"
#include "archive/item_restore.h"
#include "archive/mount_walk.h"
#include "archive/name_tree.h"
#include "archive/part_files.h"
#include "archive/write_behind.h"
#include "frame/implementation.h"
#include "platform/file.h"
#include "wim/wim.h"

namespace orv {

class COrvMorlet final : public COrvImplementation<IOrvMorlet, COrvMorlet> {
 public:
  COrvMorlet() = default;
  ~COrvMorlet();

  BOOL ExtractCurrent(LPCTSTR pstrTargetDir, int nFlags) override;
  BOOL ExtractFile(LPCTSTR lpFileIn, LPCTSTR lpTargetDir) override;
  BOOL AddFile(LPCTSTR pstrSourceFile, LPCTSTR pstrEntryName, const void* pSecurityDescriptor,
               DWORD dwSecurityLength, const ORVFILEATTRIBUTEDATA* pAttributes) override;
  BOOL FindEntry(LPCTSTR pstrEntryName) override;
  BOOL NextEntry(int nAdvance) override;
  BOOL Close() override;
  BOOL Open(LPCTSTR pstrFile, int nReadMode, int nVersion) override;
  DWORD GetArchiveType() override { return type_; }
  BOOL GetEntryName(LPTSTR pstrBuffer, int nSize) override;
  BOOL GetMountPath(LPTSTR pstrBuffer, int nSize) override;
  ORV_RECORD_IMPLEMENTATION(IOrvMorlet, ORVFILEATTRIBUTEDATA, GetEntryAttributes,
                            current_.attributes)
  void SetCompression(DWORD dwOption) override { compression_ = dwOption; }
  BOOL GetEntryTempName(LPTSTR pstrBuffer, int nSize) override;
  ULONGLONG GetEntrySize() override { return current_.size; }
  ORV_RECORD_IMPLEMENTATION(IOrvMorlet, ORVFILETIME, GetEntryCreationTime,
                            current_.attributes.ftCreationTime)
  ORV_RECORD_IMPLEMENTATION(IOrvMorlet, ORVFILETIME, GetEntryLastAccessTime,
                            current_.attributes.ftLastAccessTime)
  ORV_RECORD_IMPLEMENTATION(IOrvMorlet, ORVFILETIME, GetEntryLastWriteTime,
                            current_.attributes.ftLastWriteTime)
  ULONGLONG GetSplitSize() override { return splitSize_; }
  ULONGLONG SetSplitSize(ULONGLONG ullSplitSize) override { return splitSize_ = ullSplitSize; }

  // Copies one entry of another version 5 or 6 archive, blocks and security descriptor,
  // without recompressing; `fileSize` receives the entry's size.
  BOOL AddFileFromArchive(LPCTSTR pstrSourceArchive, LPCTSTR pstrEntryName, ULONGLONG& fileSize);
  // The same from a source archive the caller holds open for reading, so that copying
  // many entries of one archive opens it once.
  BOOL AddFileFromArchive(COrvMorlet& source, LPCTSTR pstrEntryName, ULONGLONG& fileSize);

  // Streaming read of one entry's raw (still compressed) blocks, versions 5 and 6. While
  // it runs, NextEntry, FindEntry, ExtractCurrent and AddFile fail with 22.
  BOOL StartStreamRead(LPCTSTR pstrEntryName, std::vector<uint8_t>& block);
  BOOL NextStreamBlock(std::vector<uint8_t>& block);
  // The security descriptor of the current entry (empty when it has none).
  BOOL ReadEntrySecurity(std::vector<uint8_t>& descriptor);
  // The current entry's record (versions 5 and 6).
  const archive::EntryRecord& CurrentRecord() const { return record_; }
  // The number of the last part file (versions 5 and 6).
  DWORD LastPart() const { return LastKnownPart(); }
  // Reads the current entry's stored content as extraction does, writing nothing: every
  // block is read and decompressed once and the content must come to the entry's size
  // (1392 otherwise); a link's reparse record is read instead. `storedBytes` receives
  // the bytes of data read (for versions 5 and 6 what the stored length counts). One
  // reader stays open between calls, so a walk in order reads each part file once.
  BOOL CheckCurrentContent(uint64_t& storedBytes);

 private:
  struct CurrentEntry {
    ORVFILEATTRIBUTEDATA attributes{};
    WString name;
    WString tempName;
    uint64_t size = 0;
  };
  // One entry of a version 2 table, parsed.
  struct V2Entry {
    ORVFILEATTRIBUTEDATA attributes{};
    uint64_t storedLength = 0;
    uint64_t dataOffset = 0;
    WString shortName;
    WString name;
    std::vector<uint8_t> descriptor;
    uint16_t descriptorOffset = 92;
  };

  // The bodies of the exported operations of the same names.
  BOOL ExtractCurrentEntry(LPCTSTR pstrTargetDir, int nFlags);
  BOOL ExtractNamedEntry(LPCTSTR lpFileIn, LPCTSTR lpTargetDir);
  BOOL AddEntry(LPCTSTR pstrSourceFile, LPCTSTR pstrEntryName, const void* pSecurityDescriptor,
                DWORD dwSecurityLength, const ORVFILEATTRIBUTEDATA* pAttributes);
  BOOL FindNamedEntry(LPCTSTR pstrEntryName);
  BOOL StepEntry(int nAdvance);
  BOOL CloseArchive();
  BOOL OpenArchive(LPCTSTR pstrFile, int nReadMode, int nVersion);

  BOOL Fail(DWORD error);
  BOOL Succeed();
  bool IsOpen() const { return main_.IsOpen(); }
  bool IsV56() const { return type_ == archive::kTypeVersion5 || type_ == archive::kTypeVersion6; }
  void MakeCurrent(const ORVFILEATTRIBUTEDATA& attributes, WStringView name, uint64_t size);
  // What extracting the current entry restores, and the refresh of the current entry
  // after it; both keep the entry's temporary name (see morlet.cpp).
  archive::RestoreItem ItemToRestore(WStringView name, const ORVFILEATTRIBUTEDATA& attributes,
                                     WStringView shortName) const;
  void RefreshCurrent(const ORVFILEATTRIBUTEDATA& attributes, WStringView name, uint64_t size);
  void ResetState();
  WString MakeTempName(WStringView name, DWORD attributes);
  BOOL CopyText(WStringView text, LPTSTR buffer, int size);

  // Types 3 and 4 (morlet_foreign.cpp).
  bool IsForeign() const {
    return type_ == archive::kTypeVirtualDisk || type_ == archive::kTypeWim;
  }
  DWORD OpenForeign();
  DWORD MountVirtualDisk();
  DWORD MountWim();
  BOOL NextEntryForeign(int advance);
  BOOL ExtractCurrentForeign(LPCTSTR folder);
  BOOL ExtractFileForeign(LPCTSTR name, LPCTSTR folder);
  // `relative` below the mount path.
  WString MountedPath(WStringView relative) const;
  BOOL CloseForeign();

  // Versions 5 and 6 (morlet_v56_*.cpp).
  DWORD OpenV56(bool existed);
  BOOL AddFileV56(LPCTSTR source, LPCTSTR name, const void* descriptor, DWORD descriptorLength,
                  const ORVFILEATTRIBUTEDATA* attributes);
  DWORD WriteDescriptorRecord(const void* descriptor, DWORD length, archive::EntryRecord& record);
  DWORD AppendRecord(archive::EntryRecord& record);
  DWORD EnsurePartOpen();
  DWORD CompressFileV56(os::File& file, archive::EntryRecord& record);
  BOOL CloseV56();
  DWORD ReadRecordAt(uint64_t offset, archive::EntryRecord& record);
  // The record as the main file holds it, without writing out what waits first.
  DWORD ReadStoredRecord(uint64_t offset, archive::EntryRecord& record);
  // Rebuilds the index from the records in the main file, after a lost write-out.
  DWORD IndexStoredRecords();
  DWORD LastKnownPart() const;
  // Writes out the records and blocks that wait in memory, before anything reads them.
  DWORD FlushWrites();
  BOOL NextEntryV56(int advance);
  BOOL ExtractCurrentV56(LPCTSTR folder);
  DWORD ReadReparseRecordV56(std::vector<uint8_t>& data);
  DWORD ReadDescriptorV56(const archive::EntryRecord& record, std::vector<uint8_t>& descriptor);

  // The content checks of CheckCurrentContent (morlet_check.cpp).
  DWORD CheckContentV56(uint64_t& storedBytes);
  DWORD CheckContentV12(uint64_t& storedBytes);

  // Versions 1 and 2 (morlet_v12.cpp): the raw table of contents that the header names,
  // and the reparse record of a link at the data write position or at `offset`.
  DWORD ReadV12Table(std::vector<uint8_t>& table);
  DWORD WriteReparseRecordV12(const std::vector<uint8_t>& reparse);
  DWORD ReadReparseRecordV12(uint64_t offset, std::vector<uint8_t>& data);

  // Version 2 (morlet_v2.cpp).
  DWORD OpenV2(bool existed);
  BOOL AddFileV2(LPCTSTR source, LPCTSTR name, const void* descriptor, DWORD descriptorLength,
                 const ORVFILEATTRIBUTEDATA* attributes);
  DWORD DeflateFileV2(os::File& source, uint64_t size, uint64_t& stored);
  BOOL CloseV2();
  BOOL NextEntryV2(int advance);
  BOOL ExtractCurrentV2(LPCTSTR folder);

  // Version 1 (morlet_v1.cpp).
  DWORD OpenV1(bool existed);
  BOOL AddFileV1(LPCTSTR source, LPCTSTR name, const ORVFILEATTRIBUTEDATA* attributes);
  BOOL CloseV1();
  BOOL NextEntryV1(int advance);
  BOOL ExtractCurrentV1(LPCTSTR folder, int flags);

  // Settings and identity.
  WString path_;
  int mode_ = 0;
  DWORD type_ = archive::kTypeVersion1;
  uint64_t mainSize_ = 0;
  uint64_t freeKilobytes_ = 0;
  DWORD compression_ = 0;
  uint64_t splitSize_ = archive::kDefaultSplitSize;
  os::File main_;

  // Versions 5 and 6.
  archive::V56Header header_;
  // The end of the main file while its file pointer stands there (appends in a row need
  // no seek); kNoOffset when unknown.
  uint64_t appendAt_ = archive::kNoOffset;
  archive::PartWriter parts_;
  archive::WriteBehind recordsOut_;  // entry records on their way to the main file
  bool dirty_ = false;
  archive::NameTree tree_;
  uint64_t cursor_ = archive::kNoOffset;
  uint64_t currentOffset_ = archive::kNoOffset;  // record of the current entry
  archive::EntryRecord record_;
  archive::BlockBuffers buffers_;

  // Versions 1 and 2.
  archive::V12Header v12_;
  std::vector<uint8_t> v1Table_;  // raw table of version 1, grown in 102,400-byte steps
  uint64_t v1TableUsed_ = 0;
  uint64_t v1Current_ = 0;  // table offset of the current entry
  std::vector<V2Entry> v2Entries_;
  uint64_t writePosition_ = 0;
  uint64_t tableBytes_ = 0;
  uint64_t remainingCapacity_ = 0;
  bool written_ = false;

  CurrentEntry current_;
  archive::RestoreSession session_;

  archive::BlockReader checkReader_;  // CheckCurrentContent, kept open between entries

  // Streaming read.
  bool streaming_ = false;
  uint64_t streamBlocks_ = 0;
  uint64_t streamRead_ = 0;
  archive::BlockReader streamReader_;

  // Types 3 and 4: where the image is mounted, the walk of its tree and the entry the
  // walk made current, as the folder search gave it.
  WString mountPath_;
  std::unique_ptr<COrvWim> mountWim_;
  archive::MountWalk walk_;
  DWORD foreignWalkError_ = 0;
  os::FindData foreignEntry_;
};

}  // namespace orv
