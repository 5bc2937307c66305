// COrvImage: full and differential images of a disk's partitions, their restore,
// listing and extraction, and WIM capture.
//
// The capture of a full image is spread over one file per job: create_image.cpp (the
// driver: partitions, folders, progress), volume_walk.cpp (the walk of a volume),
// capture_entry.cpp (one entry into the archive, rotation, the second pass, DATA.INP),
// capture_wim.cpp and capture_sector.cpp (the WIM and sector-copy paths), password.cpp.
#pragma once

#include <memory>
#include <vector>

#include "frame/implementation.h"
#include "image/capture_state.h"
#include "image/diff_state.h"
#include "platform/dir_search.h"
#include "services/disk.h"
#include "services/shadow_copy.h"

namespace orv {

class COrvImage final : public COrvImplementation<IOrvImage, COrvImage> {
 public:
  // The newest image object becomes the process's current image (image/current_image.h).
  COrvImage();
  ~COrvImage();
  COrvImage(const COrvImage&) = delete;
  COrvImage& operator=(const COrvImage&) = delete;

  BOOL CreateWIM(LPCTSTR pstrSourceDir, LPCTSTR pstrTargetFile, DWORD dwCompType,
                 DWORD dwSplitSize, BOOL bBootImage, ORVDCALLBACK pCallBack) override;
  BOOL CreateImageFile(LPCTSTR pstrSourceDir, LPCTSTR pstrTargetFile, DWORD dwImageType,
                       DWORD dwCompType, DWORD dwSplitSizeMB, BOOL bBootImage,
                       ORVDCALLBACK pCallBack) override;
  BOOL CreateDifferentialImage(LPDIFFIMAGEDATA pImageData) override;
  BOOL CreateImage(LPIMAGEDATA pImageData) override;
  BOOL RestoreImage(LPCTSTR pstrSourceDir, LPCTSTR pstrTargetDir, ORVDCALLBACK pCallBack) override;
  BOOL RestoreDifferentialImage(LPCTSTR pstrImageDir, LPCTSTR pstrDifferentialImageDir,
                                int nRestorePoint, LPCTSTR pstrTargetDir,
                                ORVDCALLBACK pCallBack) override;
  BOOL EnumerateContent(LPCTSTR pstrFile, ORVDCALLBACK pCallBack) override;
  BOOL ExtractWIM(LPCTSTR pstrFile, LPCTSTR pstrTargetDir, ORVDCALLBACK pCallBack) override;
  BOOL Extract(LPCTSTR pstrFile, LPCTSTR pstrTargetDir, ORVDCALLBACK pCallBack) override;
  BOOL GetPassword(LPCTSTR pstrSourceDir, LPTSTR pstrPassword, DWORD dwLen) override;
  BOOL ExtractSingleFile(LPCTSTR pstrEntry, LPCTSTR pstrFile, LPCTSTR pstrTargetDir) override;
  BOOL GetEntryInfo(LPCTSTR pstrEntry, LPCTSTR pstrFile, ORVFILEATTRIBUTEDATA* pData) override;
  BOOL ListContentDifferential(LPCTSTR pstrImageDir, int nRestorePoint,
                               ORVDCALLBACK pCallBack) override;
  BOOL ListContent(LPCTSTR pstrImageDir, ORVDCALLBACK pCallBack) override;

  // Captures one mounted volume into a new archive (types 2 and 5).
  void CreateMorletImage(WStringView drive, WStringView archivePath);
  // Reads the 32 scrambled password bytes of a sector image's QUEN.DAV, unscrambled.
  BOOL GetPasswordINP(LPCTSTR pstrFile, LPTSTR pstrPassword);

  // The capture state, for the plain functions that the WIM engine and the sector copy
  // call back (they reach the object through the current image).
  CaptureState& Capture() { return capture_; }

  // Callback messages of the capture. Send answers TRUE without a callback.
  BOOL Send(DWORD message, ORVVALUE first, ORVVALUE second, ORVVALUE fourth);
  // Signals the stop event and ends the capture as cancelled.
  void Cancel();
  // Asks the caller whether to go on (404); a refusal cancels. True to go on.
  bool PollContinue();
  // 104 with the bytes done, in the progress style in force; a refusal cancels.
  void ReportBytesDone();
  // Raises the bytes done by `size`, never past the total.
  void AddBytesDone(uint64_t size);

 private:
  BOOL SetUpCapture(const IMAGEDATA& record);
  void SetUpStopEvent(HANDLE given);
  void Precount(const COrvDisk& disk);
  void CapturePartition(const COrvPartition& partition);
  void ProgressTail();
  bool StopRequested();

  // The walk of a volume and the add-entry routine.
  void ProcessFileAndFolders(const WString& folder);
  // Puts one entry into the current archive; the capture's last error says whether the
  // capture goes on.
  enum class EntryOutcome { kAdded, kDeferred, kSkipped, kFailed };
  // `found` is the entry's folder listing where the caller has it, so that it need not
  // be read again.
  EntryOutcome AddEntry(const WString& fullPath, const std::vector<uint8_t>& descriptor,
                        const os::FindData* found = nullptr);
  DWORD AddWithFallbacks(const WString& fullPath, const WString& archiveName,
                         const std::vector<uint8_t>& descriptor,
                         const ORVFILEATTRIBUTEDATA& attributes);
  bool RotateArchive();
  void SecondPass(const COrvPartition& partition);
  void BuildDataArchive(const WString& archivePath, const WString& root);
  WString TemporaryCopyPath(WStringView fullPath);
  WString RootOf(WStringView fullPath) const;

  // Shadow copies of the volume being captured.
  void TakeShadowCopy(const COrvPartition& partition);
  void ReleaseShadowCopy();

  // The other capture paths.
  void CaptureWim(const COrvPartition& partition, const WString& folder);
  // Splits a WIM file larger than the split size into parts under its own name.
  void SplitWim(const WString& target);
  void CaptureSectors(const COrvPartition& partition, const WString& folder);
  void ListSectorImage(const WString& driveRoot);

  void WritePasswordFile(WStringView folder);

  // Differential images (diff_image.cpp, diff_scan.cpp, diff_backup.cpp).
  BOOL SetUpDifferential(const DIFFIMAGEDATA& record);
  void DiffFindAllFiles();
  // Walks one folder (relative to the volume root, empty or ending with a separator);
  // true when something below it is new or modified.
  bool DiffWalk(const WString& relativeFolder);
  // Judges one entry against the reference; true when it is new or modified.
  bool ExamineEntry(const WString& fullPath, const os::FindData& found);
  // Sets the entry `relative` and, for a folder, everything below it to unchanged.
  void SetUnchanged(const WString& relative, bool folder);
  void BackupFiles();
  bool OpenDifferentialArchive();
  // Stores a changed entry with the parent folders it needs; false when the backup stops.
  bool StoreWithParents(const WString& name);
  // Kinds 3 and 4 (diff_image_copy.cpp): the changes copied into a mounted sector or
  // WIM image.
  bool IsMountedKind() const;
  WString MountedImageName() const;
  bool MountDifferentialImage();
  void UnmountDifferentialImage();
  bool CopyIntoMountedImage(const WString& name);
  void ReportBackupProgress(uint64_t processed, uint64_t count);

  // Restore and listing of image folders (restore_image.cpp, extract_inp.cpp,
  // apply_wim.cpp, listing.cpp, extraction.cpp). They share the callback, the progress
  // style, the counters and the last error with the capture.
  BOOL RestoreFolder(const WString& source, const WString& target, ORVDCALLBACK callback);
  // The archive and WIM files BASE.XML of `folder` lists, as full paths, in capture order.
  std::vector<WString> ReadArchiveList(const WString& folder);
  // Runs `step` on each archive or WIM file of an image folder, in order, until one
  // fails: those BASE.XML lists, else its first WIM file, else its BASE.INP.
  using ArchiveStep = BOOL (COrvImage::*)(const WString& path, bool wim);
  BOOL ForEachArchive(const WString& folder, ArchiveStep step);
  BOOL RestoreArchive(const WString& path, bool wim);
  BOOL ListArchive(const WString& path, bool wim);
  void ProcessDELFiles(const WString& source, const WString& target);
  BOOL ExtractINP(const WString& archive, const WString& target);
  // Opens an archive for a walk; a failure is the object's error, and logged.
  bool OpenForWalk(COrvMorlet& reader, const WString& archive);
  void RecordEncryptedFile(const WString& entry, const WString& target, const WString& tempName);
  BOOL ApplyWIM(const WString& wimPath, const WString& target);
  BOOL ListWIM(const WString& wimPath);
  BOOL RunWimImage(const WString& wimPath, const WString& target, bool listOnly);
  bool FindFirstWIM(const WString& folder, WString& path);
  WORD GetWIMPartNumber(const WString& wimPath);
  BOOL AddWIMReferences(const WString& chosenName, const WString& folder, HANDLE wim);
  BOOL ListFolder(const WString& folder, ORVDCALLBACK callback);
  BOOL ListContentINP(const WString& archive);
  uint64_t ComputeRestoreSize(const WString& archive);
  bool DifferentialSetExists(const WString& folder, int index);
  // The number of sets USERDIFF.0, 1, ... before the first whose catalogue lists nothing.
  int DifferentialSetCount(const WString& folder);
  // Whether the caller wants the entry restored (406); a refusal is logged.
  bool AskRestore(const WString& entryPath);
  // 409 with the total, then 110 with nothing done yet.
  void SendRestoreTotal();
  // Progress after one entry: 110 with the bytes done and, in byte style, 104 with the
  // kilobytes, while the bytes done are below the total.
  void SendBytesProgress(bool withKilobytes);
  // 104 with the share of the total done, in percent.
  void SendPercentDone();
  // Takes the final error into the object's error; TRUE when it is 0.
  BOOL Settle();

  // The engine's messages while a WIM file is applied or listed.
  static DWORD ORV_CALLBACK ApplyMessage(DWORD message, ORVVALUE first, ORVVALUE second, void*);
  static DWORD ORV_CALLBACK ListMessage(DWORD message, ORVVALUE first, ORVVALUE second, void*);
  DWORD OnProcessMessage(const Char* path, BOOL* include);
  void OnFileInformation(const void* findData);

  // The path a WIM entry is listed with: below the drive of the listing's root.
  WString ListedPath(WStringView reported) const;
  // The folder the running restore writes into.
  WString restoreTarget_;
  // The WIM file being listed: the container of the records its entries are listed with.
  WString listedFile_;
  // The folder a WIM listing runs its apply on (nothing is written there).
  WString listRoot_;

  // WIM and archive files of a folder, and the mounted WIM that a file-by-file capture
  // copies into (wim_file.cpp, wim_mount.cpp, count_folder_size.cpp, capture_wim.cpp).
 public:
  // Virtual disks (virtual_disk_image.cpp). The first letter from Z down to C without a
  // volume; '.' when there is none.
  Char FindFreeDriveLetter();
  // A new virtual disk of `sizeMB` MiB at `image`, mounted at a free letter and formatted
  // with NTFS; `drive` (at least 10 characters) receives its root ("X:\").
  BOOL MountImageINP(LPCTSTR image, DWORD sizeMB, DWORD splitSizeMB, LPTSTR drive);
  // Mounts a sector image read-only at `drive` ("X:"); TRUE when its root exists then.
  BOOL MountSectorImage(const WString& image, const WString& drive);
  BOOL UnmountSectorImage(Char letter);

  // A new WIM file holding one image with the placeholder QUEN.DAV, mounted read-write
  // in "System Recovery\TMP_MOUNT" below the volume root; `mountFolder` receives the
  // folder with a separator at its end.
  BOOL MountImageWIM(WString& mountFolder, const WString& wimFile);
  // Removes the placeholder, commits the mounted image and removes the mount folder.
  BOOL UnmountImageWIM(const WString& mountFolder, const WString& wimFile);
  // Cuts a WIM file larger than the split size into parts under its own name; a split
  // size of 0 never cuts.
  BOOL SplitImage(const WString& wimFile, DWORD splitSizeMB);
  // Whether the system can mount WIM images (the WIM file-system filter service).
  BOOL IsWimFilterInstalled();
  // Removes an image file and the parts of an earlier split of it.
  static void DeleteImageFiles(const WString& target);
  // The bytes of the files below a folder that the caller (400) takes.
  uint64_t CountFolderSize(const WString& folder);

 private:
  // How cutting a WIM file into parts ended: the step that failed, if any.
  enum class WimSplitFailure { kNone, kMove, kOpen, kSplit };
  WimSplitFailure CutWim(const WString& wimFile, uint64_t partBytes, DWORD& error);
  // Captures `source` into a new WIM file `target`, then splits and protects it.
  void CaptureWimFile(const WString& target, const WString& source, DWORD compression);
  // The state of a capture of a folder (CreateWIM, CreateImageFile).
  void BeginFolderCapture(const WString& source, DWORD splitSizeMB, ORVDCALLBACK callback);

  CaptureState capture_;
  DiffState diff_;
  std::unique_ptr<IOrvShadowCopy> shadowCopy_;
};

}  // namespace orv
