/* Vantrel: partition-image backup library. Public interface.
 *
 * The library hands out six kinds of objects through six exported factories. Every
 * object is used through its interface and ends its life with Release(). Operations
 * return BOOL and leave a code in the object (0 on success, a Windows error code, or
 * one of the library codes below). Objects are not shared between threads. */
#ifndef VANTREL_H
#define VANTREL_H

#include "vantrel/types.h"

/* ---- Library codes (bit 28 set) --------------------------------------------------- */
#define ORV_ERROR_ARGUMENT 0x10000001u        /* an argument unusable (an out buffer) */
#define ORV_ERROR_ARG1 0x10000002u            /* first pointer or string argument unusable */
#define ORV_ERROR_ARG2 0x10000003u            /* second argument unusable */
#define ORV_ERROR_ARG3 0x10000004u            /* third argument unusable */
#define ORV_ERROR_ARCHIVE_NOT_OPEN 0x10000203u
#define ORV_ERROR_DISMOUNT_FAILED 0x10000405u
#define ORV_ERROR_CANCELLED 0x10000801u       /* the caller cancelled through the callback */
#define ORV_ERROR_NO_SNAPSHOT 0x10000802u
#define ORV_ERROR_NO_DRIVE_LETTER 0x10000804u
#define ORV_ERROR_NO_SPACE_FOR_CHANGES 0x10000808u
#define ORV_ERROR_NOT_SUPPORTED 0x80004001u   /* unsupported archive version or image type */

/* ---- Callback ------------------------------------------------------------------- */
/* The caller's progress, question and cancel callback: a message code, a first and a
 * second value, and a fourth value that is a path, a record or the caller's context.
 * Each value is 32 bits on Win32 and pointer-sized elsewhere. A result of 0 answers
 * "no" (stop, skip or cancel) where the message asks a question. */
typedef BOOL(ORV_CALLBACK *ORVDCALLBACK)(ORVVALUE dwMessage, ORVVALUE dwValue1,
                                          ORVVALUE dwValue2, ORVVALUE dwValue4);

#define ORV_MSG_START 101           /* operation starts; first = total */
#define ORV_MSG_PROGRESS 104        /* progress amount; 0 cancels where asked */
#define ORV_MSG_DONE_AMOUNT 110     /* low, high 32 bits of the amount done */
#define ORV_MSG_FILE 400            /* a file is about to be captured; 0 skips */
#define ORV_MSG_SCAN_AMOUNT 401     /* second = kilobytes found by a scan */
#define ORV_MSG_DIFF_RESULT 402     /* result of a differential scan */
#define ORV_MSG_DIFF_ENTRY 403      /* an entry is examined by a differential scan */
#define ORV_MSG_CANCEL_POLL 404     /* 0 cancels */
#define ORV_MSG_WRITE_FAILED 405    /* second = error code; 0 stops */
#define ORV_MSG_ASK_RESTORE 406     /* 0 skips the entry */
#define ORV_MSG_PARTITION 407       /* second = drive letter; 0 skips the partition */
#define ORV_MSG_PHASE 408           /* phase notice */
#define ORV_MSG_TOTAL_AMOUNT 409    /* low, high 32 bits of the total */
#define ORV_MSG_WALK_ENTRY 410      /* one archive entry during a content walk; 0 stops.
                                     * first = the entry's path, second = its
                                     * ORVFILEATTRIBUTEDATA; both belong to the library
                                     * and are valid only during the call */
#define ORV_MSG_ENTRY_INFO 411      /* fourth = ORVLISTRECORD of one listed file, valid
                                     * only during the call */
#define ORV_MSG_MERGE_DELETED 420   /* 0 leaves the deleted file out of the merged set */

/* ---- Records -------------------------------------------------------------------- */
#pragma pack(push, 4)

typedef struct ORVFILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} ORVFILETIME;

/* The 36-byte attribute block that archive entries and callbacks exchange. */
typedef struct ORVFILEATTRIBUTEDATA {
  DWORD dwFileAttributes;
  ORVFILETIME ftCreationTime;
  ORVFILETIME ftLastAccessTime;
  ORVFILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
} ORVFILEATTRIBUTEDATA;

/* One file of a listing (message 411). For an archive entry, container is the archive's
 * path and path the entry's path inside it; for a WIM entry, container is the WIM file
 * and path "X:\dir\file", X the drive of the listing's root, or ":\dir\file" where
 * the system has no drive letters. */
typedef struct ORVLISTRECORD {
  LPCTSTR pstrContainer;
  LPCTSTR pstrPath;
  ORVFILEATTRIBUTEDATA data;
} ORVLISTRECORD;

/* Record of CreateImage. */
typedef struct IMAGEDATA {
  DWORD dwSplitSizeMB;
  DWORD dwImageType;
  DWORD dwDiskNumber;
  DWORD dwReserved;
  LPCTSTR pstrPassword;   /* optional */
  LPCTSTR pstrTargetDir;  /* required */
  LPCTSTR pstrTempDir;    /* optional */
  ORVVALUE dwContext;
  ORVDCALLBACK pCallBack; /* optional */
  HANDLE hStopEvent;      /* optional; null creates the event "ImageStop" */
} IMAGEDATA, *LPIMAGEDATA;

/* Record of CreateDifferentialImage. */
typedef struct DIFFIMAGEDATA {
  DWORD wDriveLetter;     /* a wide character in a 32-bit field */
  DWORD m_dwINPVersion;
  DWORD dwRequest;
  DWORD dwSplitSizeMB;
  LPCTSTR pstrReferenceDir;
  LPCTSTR pstrTargetDir;
  LPCTSTR pstrTempDir;
  LPCTSTR pstrDescription;
  ORVVALUE dwContext;
  ORVDCALLBACK pCallBack;
  HANDLE hStopEvent;
} DIFFIMAGEDATA, *LPDIFFIMAGEDATA;

#pragma pack(pop)

/* One partition of a layout comparison, filled by GetFirstPartition/GetNextPartition. */
typedef struct LAYOUTPARTITIONDATA {
  ULONGLONG ullDiskSize;
  ULONGLONG ullStartingOffset;
  ULONGLONG ullSize;
  ULONGLONG ullUsedSpace;
  ULONGLONG ullReserved;
  ORVCHAR szFileSystemName[260];
  ORVCHAR szVolumeName[260];
  ORVCHAR szMountPoint[260];
  BYTE byType;
  DWORD dwActive;
  DWORD dwUnallocated;
  DWORD dwPrimary;
  DWORD dwFixed;
  DWORD dwIndex;
  DWORD dwNumber;
  DWORD dwDiskNumber;
  DWORD dwStatus;
  DWORD dwRecovery;
  LONG lWindowsType;
} LAYOUTPARTITIONDATA, *LPLAYOUTPARTITIONDATA;

/* The records keep the layout of the 32-bit Windows interface. */
#if defined(__cplusplus) && defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(ORVFILEATTRIBUTEDATA) == 36, "attribute block is 36 bytes");
static_assert(sizeof(IMAGEDATA) == 40, "IMAGEDATA is ten 32-bit fields");
static_assert(sizeof(DIFFIMAGEDATA) == 44, "DIFFIMAGEDATA is eleven 32-bit fields");
static_assert(sizeof(LAYOUTPARTITIONDATA) == 1648, "LAYOUTPARTITIONDATA keeps natural alignment");
static_assert(sizeof(ORVDCALLBACK) == 4 && sizeof(ORVVALUE) == 4, "32-bit callback values");
#endif

#ifdef __cplusplus

/* ---- Interfaces ----------------------------------------------------------------- */
/* Each table of virtual operations is: destructor, Dump, the interface's operations in
 * the order below, Release. The order is part of the binary interface.
 *
 * On Windows the tables are the Microsoft compiler's, as the applications that load
 * the DLL expect: one destructor entry (called with a flag, bit 0 = free the
 * memory, returning `this`), and records returned from member functions through a
 * hidden pointer passed after `this`. GCC (and clang in GNU mode) would lay out two
 * destructor entries and return small records in registers, so for them the header
 * spells both out (ORV_MS_TABLE_BY_HAND): the first entry is OrvDeletingDestructor, the
 * real destructor is protected and not virtual, and an operation that returns a record
 * takes the caller's record and returns its address, with an inline wrapper that keeps
 * the call form `GetEntryAttributes()`. On 32-bit Windows both compilers already pass
 * `this` in ECX and let the callee remove the arguments of member calls; 64-bit Windows
 * has one calling convention. */
#if defined(_WIN32) && !defined(_MSC_VER)
#define ORV_MS_TABLE_BY_HAND 1
#endif

/* The last error code of an object: 0 on success, a Windows code or a library code. */
class COrvError {
 public:
  COrvError() : m_dwError(0) {}
  void SetError(DWORD dwError) { m_dwError = dwError; }
  DWORD GetError() const { return m_dwError; }

 private:
  DWORD m_dwError;
};

/* Base of every object of the library. */
class COrvObject {
 public:
#ifdef ORV_MS_TABLE_BY_HAND
  /* The destructor entry: destroys the object, frees it when bit 0 of flags is set. */
  virtual void *OrvDeletingDestructor(unsigned int flags) = 0;
#else
  virtual ~COrvObject() {}
#endif
  virtual BOOL Dump() = 0;
  /* The code the last operation left (not part of the table of virtual operations). */
  DWORD GetLastErrorCode() const { return m_Error.GetError(); }

 protected:
#ifdef ORV_MS_TABLE_BY_HAND
  ~COrvObject() {}
#endif
  COrvError m_Error;
};

#ifdef ORV_MS_TABLE_BY_HAND
/* An operation that returns a record: the table entry takes the caller's record. */
#define ORV_RECORD_OPERATION(Record, Name)                 \
  virtual Record *Name(Record *pResult) = 0;               \
  Record Name() {                                          \
    Record result;                                         \
    Name(&result);                                         \
    return result;                                         \
  }
#else
#define ORV_RECORD_OPERATION(Record, Name) virtual Record Name() = 0;
#endif

class IOrvImage : public COrvObject {
 public:
  virtual BOOL CreateWIM(LPCTSTR pstrSourceDir, LPCTSTR pstrTargetFile, DWORD dwCompType,
                         DWORD dwSplitSize, BOOL bBootImage, ORVDCALLBACK pCallBack) = 0;
  virtual BOOL CreateImageFile(LPCTSTR pstrSourceDir, LPCTSTR pstrTargetFile,
                               DWORD dwImageType, DWORD dwCompType, DWORD dwSplitSizeMB,
                               BOOL bBootImage, ORVDCALLBACK pCallBack) = 0;
  virtual BOOL CreateDifferentialImage(LPDIFFIMAGEDATA pImageData) = 0;
  virtual BOOL CreateImage(LPIMAGEDATA pImageData) = 0;
  virtual BOOL RestoreImage(LPCTSTR pstrSourceDir, LPCTSTR pstrTargetDir,
                            ORVDCALLBACK pCallBack) = 0;
  virtual BOOL RestoreDifferentialImage(LPCTSTR pstrImageDir,
                                        LPCTSTR pstrDifferentialImageDir, int nRestorePoint,
                                        LPCTSTR pstrTargetDir, ORVDCALLBACK pCallBack) = 0;
  virtual BOOL EnumerateContent(LPCTSTR pstrFile, ORVDCALLBACK pCallBack) = 0;
  virtual BOOL ExtractWIM(LPCTSTR pstrFile, LPCTSTR pstrTargetDir,
                          ORVDCALLBACK pCallBack) = 0;
  virtual BOOL Extract(LPCTSTR pstrFile, LPCTSTR pstrTargetDir, ORVDCALLBACK pCallBack) = 0;
  virtual BOOL GetPassword(LPCTSTR pstrSourceDir, LPTSTR pstrPassword, DWORD dwLen) = 0;
  virtual BOOL ExtractSingleFile(LPCTSTR pstrEntry, LPCTSTR pstrFile,
                                 LPCTSTR pstrTargetDir) = 0;
  virtual BOOL GetEntryInfo(LPCTSTR pstrEntry, LPCTSTR pstrFile,
                            ORVFILEATTRIBUTEDATA *pData) = 0;
  virtual BOOL ListContentDifferential(LPCTSTR pstrImageDir, int nRestorePoint,
                                       ORVDCALLBACK pCallBack) = 0;
  virtual BOOL ListContent(LPCTSTR pstrImageDir, ORVDCALLBACK pCallBack) = 0;
  virtual void Release() = 0;
};

class IOrvImageEx : public COrvObject {
 public:
  virtual BOOL MergeDifferentialSets(LPCTSTR pstrImageDir, int nFirst, int nLast,
                                     ORVDCALLBACK pCallBack) = 0;
  virtual void Release() = 0;
};

class IOrvMorlet : public COrvObject {
 public:
  virtual BOOL ExtractCurrent(LPCTSTR pstrTargetDir, int nFlags) = 0;
  virtual BOOL ExtractFile(LPCTSTR lpFileIn, LPCTSTR lpTargetDir) = 0;
  virtual BOOL AddFile(LPCTSTR pstrSourceFile, LPCTSTR pstrEntryName,
                       const void *pSecurityDescriptor, DWORD dwSecurityLength,
                       const ORVFILEATTRIBUTEDATA *pAttributes) = 0;
  virtual BOOL FindEntry(LPCTSTR pstrEntryName) = 0;
  virtual BOOL NextEntry(int nAdvance) = 0;
  virtual BOOL Close() = 0;
  virtual BOOL Open(LPCTSTR pstrFile, int nReadMode, int nVersion) = 0;
  virtual DWORD GetArchiveType() = 0;
  virtual BOOL GetEntryName(LPTSTR pstrBuffer, int nSize) = 0;
  virtual BOOL GetMountPath(LPTSTR pstrBuffer, int nSize) = 0;
  ORV_RECORD_OPERATION(ORVFILEATTRIBUTEDATA, GetEntryAttributes)
  virtual void SetCompression(DWORD dwOption) = 0;
  virtual BOOL GetEntryTempName(LPTSTR pstrBuffer, int nSize) = 0;
  virtual ULONGLONG GetEntrySize() = 0;
  ORV_RECORD_OPERATION(ORVFILETIME, GetEntryCreationTime)
  ORV_RECORD_OPERATION(ORVFILETIME, GetEntryLastAccessTime)
  ORV_RECORD_OPERATION(ORVFILETIME, GetEntryLastWriteTime)
  virtual ULONGLONG GetSplitSize() = 0;
  virtual ULONGLONG SetSplitSize(ULONGLONG ullSplitSize) = 0;
  virtual void Release() = 0;
};

class IOrvMrlComparison : public COrvObject {
 public:
  virtual BOOL GetFirstPartition(LPLAYOUTPARTITIONDATA pData) = 0;
  virtual BOOL GetNextPartition(LPLAYOUTPARTITIONDATA pData) = 0;
  virtual void Close() = 0;
  virtual BOOL OpenComparison(DWORD dwDiskIndex, LPCTSTR pstrLayoutFile, int nDiskNumber) = 0;
  virtual void Release() = 0;
};

class IOrvRecoveryPoint : public COrvObject {
 public:
  virtual BOOL Create(LPCTSTR pstrDBFile, LPCTSTR pstrLastRecoveryPointDir,
                      LPCTSTR pstrRecoveryPointDir, LPCTSTR pstrDesc,
                      ORVDCALLBACK pCallback) = 0;
  virtual void Release() = 0;
};

/* Handle-taking operations of IOrvWim accept a null handle for "the current WIM". */
class IOrvWim : public COrvObject {
 public:
  typedef DWORD(ORV_CALLBACK *WIMMESSAGEROUTINE)(DWORD dwMessageId, ORVVALUE wParam,
                                                  ORVVALUE lParam, void *pvUserData);
  virtual HANDLE WIMCreateFile(LPCTSTR pszWimPath, DWORD dwDesiredAccess,
                               DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                               DWORD dwCompressionType, DWORD *pdwCreationResult) = 0;
  virtual BOOL WIMCopyFile(LPCTSTR pszExistingFileName, LPCTSTR pszNewFileName,
                           void *pProgressRoutine, void *pvData, BOOL *pbCancel,
                           DWORD dwCopyFlags) = 0;
  virtual DWORD WIMGetImageCount(HANDLE hWim) = 0;
  virtual BOOL WIMGetAttributes(HANDLE hWim, void *pWimInfo, DWORD cbWimInfo) = 0;
  virtual BOOL WIMCloseHandle(HANDLE hObject) = 0;
  virtual BOOL WIMApplyImage(HANDLE hImage, LPCTSTR pszPath, DWORD dwApplyFlags) = 0;
  virtual HANDLE WIMLoadImage(HANDLE hWim, DWORD dwImageIndex) = 0;
  virtual BOOL WIMExportImage(HANDLE hImage, HANDLE hWim, DWORD dwFlags) = 0;
  virtual BOOL WIMMountImage(LPCTSTR pszMountPath, LPCTSTR pszWimFileName,
                             DWORD dwImageIndex, LPCTSTR pszTempPath) = 0;
  virtual BOOL WIMUnmountImage(LPCTSTR pszMountPath, LPCTSTR pszWimFileName,
                               DWORD dwImageIndex, BOOL bCommitChanges) = 0;
  virtual HANDLE WIMCaptureImage(HANDLE hWim, LPCTSTR pszPath, DWORD dwCaptureFlags) = 0;
  virtual BOOL WIMSplitFile(HANDLE hWim, LPCTSTR pszPartPath, LONGLONG *pliPartSize,
                            DWORD dwFlags) = 0;
  virtual BOOL WIMSetTemporaryPath(HANDLE hWim, LPCTSTR pszPath) = 0;
  virtual DWORD WIMRegisterMessageCallback(HANDLE hWim, WIMMESSAGEROUTINE fpMessageProc,
                                           void *pvUserData) = 0;
  virtual BOOL WIMUnregisterMessageCallback(HANDLE hWim, WIMMESSAGEROUTINE fpMessageProc) = 0;
  virtual BOOL WIMGetImageInformation(HANDLE hImage, void **ppvImageInfo,
                                      DWORD *pcbImageInfo) = 0;
  virtual BOOL WIMSetImageInformation(HANDLE hImage, void *pvImageInfo,
                                      DWORD cbImageInfo) = 0;
  virtual BOOL GetMountResult() = 0;
  virtual BOOL IsFirstPart(LPCTSTR pstrWIMFile) = 0;
  virtual WORD GetPartNumber(LPCTSTR pstrWIMFile) = 0;
  virtual BOOL WIMSetBootImage(HANDLE hWim, DWORD dwImageIndex) = 0;
  virtual BOOL WIMSetReferenceFile(HANDLE hWim, LPCTSTR pszPath, DWORD dwFlags) = 0;
  virtual BOOL SetPassword(LPCTSTR pstrWIMFile, LPCTSTR pstrPassword) = 0;
  virtual BOOL GetPassword(LPCTSTR pstrWIMFile, LPTSTR pstrPassword) = 0;
  virtual void Release() = 0;
};

/* Release through a pointer that may be null, and clear it: a virtual call cannot be
 * made on a null object, so the null test belongs on the caller's side. */
template <class T>
inline void OrvRelease(T *&object) {
  if (object) object->Release();
  object = 0;
}

/* Destroys an object through its destructor entry, as deleting it through its interface
 * does (and as Release does); with GCC on 32-bit Windows, where the header spells the
 * table out, `delete` cannot be used. Does nothing for a null object. */
inline void OrvDelete(COrvObject *object) {
#ifdef ORV_MS_TABLE_BY_HAND
  if (object) object->OrvDeletingDestructor(1);
#else
  delete object;
#endif
}

#define ORV_EXPORT_C extern "C"
#else
#define ORV_EXPORT_C
#endif /* __cplusplus */

/* VANTREL_BUILDING is defined while the library itself is compiled. */
#if defined(_WIN32) && defined(VANTREL_BUILDING)
#define ORV_API __declspec(dllexport)
#elif defined(_WIN32)
#define ORV_API __declspec(dllimport)
#elif defined(VANTREL_BUILDING)
#define ORV_API __attribute__((visibility("default")))
#else
#define ORV_API
#endif

#ifdef __cplusplus
ORV_EXPORT_C ORV_API IOrvImage *GetImageInterface(void);
ORV_EXPORT_C ORV_API IOrvImageEx *GetImageExInterface(void);
ORV_EXPORT_C ORV_API IOrvWim *GetWIMInterface(void);
ORV_EXPORT_C ORV_API IOrvMorlet *GetMorletInterface(void);
ORV_EXPORT_C ORV_API IOrvMrlComparison *GetMrlComparisonInterface(void);
ORV_EXPORT_C ORV_API IOrvRecoveryPoint *GetIOrvRecoveryPointInterface(void);
#endif

/* Factory function types, for callers that bind the library at run time. */
#ifdef __cplusplus
typedef IOrvImage *(*PFN_GetImageInterface)(void);
typedef IOrvImageEx *(*PFN_GetImageExInterface)(void);
typedef IOrvWim *(*PFN_GetWIMInterface)(void);
typedef IOrvMorlet *(*PFN_GetMorletInterface)(void);
typedef IOrvMrlComparison *(*PFN_GetMrlComparisonInterface)(void);
typedef IOrvRecoveryPoint *(*PFN_GetIOrvRecoveryPointInterface)(void);
#endif

#endif /* VANTREL_H */
