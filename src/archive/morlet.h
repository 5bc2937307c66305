// COrvMorlet: the library's own archive format (.INP), writer and reader.
//
// One object opens one archive at a time, for reading (mode 1) or writing (mode 0), in
// version 1, 2, 5 or 6, and holds the state of that kind of archive alone
// (archive_state.h). The operations of each version live in their own files:
// morlet.cpp (open, close, accessors), morlet_v56_*.cpp, morlet_v2.cpp, morlet_v1.cpp;
// morlet_interface.cpp runs each exported operation so that no exception leaves it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "archive/archive_state.h"
#include "archive/block_buffers.h"
#include "archive/format.h"
#include "archive/item_restore.h"
#include "frame/implementation.h"
#include "platform/file.h"

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
  // The current entry's record (versions 5 and 6; empty for the others).
  const archive::EntryRecord& CurrentRecord() const;
  // The number of the last part file (versions 5 and 6; 0 for the others).
  DWORD LastPart() const { return IsV56() ? LastKnownPart() : 0; }
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
  bool IsV56() const { return std::holds_alternative<archive::V56State>(state_); }
  // The state of the kind of archive open; only called where that kind is open.
  archive::V56State& V56() { return std::get<archive::V56State>(state_); }
  const archive::V56State& V56() const { return std::get<archive::V56State>(state_); }
  archive::V1State& V1() { return std::get<archive::V1State>(state_); }
  archive::V2State& V2() { return std::get<archive::V2State>(state_); }
  archive::V12State& V12();
  archive::MountedState& Mounted() { return std::get<archive::MountedState>(state_); }
  const archive::MountedState& Mounted() const { return std::get<archive::MountedState>(state_); }
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
  bool IsForeign() const { return std::holds_alternative<archive::MountedState>(state_); }
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
  DWORD compression_ = 0;
  uint64_t splitSize_ = archive::kDefaultSplitSize;
  os::File main_;

  archive::ArchiveState state_;
  archive::BlockBuffers buffers_;  // compression buffers, kept from archive to archive
  CurrentEntry current_;
  archive::RestoreSession session_;
};

}  // namespace orv
