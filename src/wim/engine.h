// The imaging engine as the binding sees it: the WIM functions in their documented
// form (arguments, results, the calling thread's last error), found at run time.
// Windows: the functions of wimgapi.dll. Linux: an engine of our own over wimlib.
#pragma once

#include "platform/process.h"
#include "vantrel/vantrel.h"

namespace orv::wim {

// The WIM interface's own constants.
inline constexpr DWORD kGenericRead = 0x80000000;
inline constexpr DWORD kGenericWrite = 0x40000000;
inline constexpr DWORD kGenericMount = 0x20000000;

inline constexpr DWORD kCreateNew = 1;
inline constexpr DWORD kCreateAlways = 2;
inline constexpr DWORD kOpenExisting = 3;
inline constexpr DWORD kOpenAlways = 4;

inline constexpr DWORD kCompressNone = 0;
inline constexpr DWORD kCompressXpress = 1;
inline constexpr DWORD kCompressLzx = 2;

inline constexpr DWORD kCreatedNew = 0;
inline constexpr DWORD kOpenedExisting = 1;

inline constexpr DWORD kFlagVerify = 0x2;
inline constexpr DWORD kFlagNoApply = 0x8;
inline constexpr DWORD kFlagFileInfo = 0x80;

// WIMSetReferenceFile: add the file to the reference list, or make it the whole list.
inline constexpr DWORD kReferenceAppend = 0x10000;
inline constexpr DWORD kReferenceReplace = 0x20000;

// Messages of the engine to the registered routines, and the routines' answers.
inline constexpr DWORD kMsgProgress = 38008;  // first = percent, second = ms remaining
inline constexpr DWORD kMsgProcess = 38009;   // first = path, second = BOOL* include
inline constexpr DWORD kMsgError = 38015;     // first = path, second = error code
inline constexpr DWORD kMsgFileInfo = 38019;  // first = path, second = WimFindData*
inline constexpr DWORD kMsgSuccess = 0;
inline constexpr DWORD kMsgSkipError = 0xFFFFFFFE;
inline constexpr DWORD kMsgAbortImage = 0xFFFFFFFF;
inline constexpr DWORD kInvalidCallback = 0xFFFFFFFF;

// The record of WIMGetAttributes (560 bytes).
#pragma pack(push, 4)
struct WimInfo {
  Char wimPath[260];
  BYTE guid[16];
  DWORD imageCount;
  DWORD compressionType;
  WORD partNumber;
  WORD totalParts;
  DWORD bootIndex;
  DWORD wimAttributes;
  DWORD wimFlagsAndAttr;
};

// The find-data record of the file-information message.
struct WimFindData {
  DWORD attributes;
  DWORD creationTime[2];
  DWORD lastAccessTime[2];
  DWORD lastWriteTime[2];
  DWORD sizeHigh;
  DWORD sizeLow;
  DWORD reserved0;
  DWORD reserved1;
  Char fileName[260];
  Char alternateFileName[14];
};
#pragma pack(pop)
static_assert(sizeof(WimInfo) == 560, "WIMGetAttributes record is 560 bytes");
static_assert(sizeof(WimFindData) == 592, "the find-data record of the Windows file API");

using MessageRoutine = IOrvWim::WIMMESSAGEROUTINE;

// The functions, with the calling convention of the Windows interface.
struct Functions {
  HANDLE(ORV_CALLBACK* CreateFile)(LPCTSTR, DWORD, DWORD, DWORD, DWORD, DWORD*);
  DWORD(ORV_CALLBACK* GetImageCount)(HANDLE);
  BOOL(ORV_CALLBACK* GetAttributes)(HANDLE, void*, DWORD);
  BOOL(ORV_CALLBACK* CloseHandle)(HANDLE);
  BOOL(ORV_CALLBACK* ApplyImage)(HANDLE, LPCTSTR, DWORD);
  HANDLE(ORV_CALLBACK* LoadImage)(HANDLE, DWORD);
  BOOL(ORV_CALLBACK* MountImage)(LPCTSTR, LPCTSTR, DWORD, LPCTSTR);
  BOOL(ORV_CALLBACK* UnmountImage)(LPCTSTR, LPCTSTR, DWORD, BOOL);
  HANDLE(ORV_CALLBACK* CaptureImage)(HANDLE, LPCTSTR, DWORD);
  BOOL(ORV_CALLBACK* SplitFile)(HANDLE, LPCTSTR, LONGLONG*, DWORD);
  BOOL(ORV_CALLBACK* SetTemporaryPath)(HANDLE, LPCTSTR);
  DWORD(ORV_CALLBACK* RegisterMessageCallback)(HANDLE, MessageRoutine, void*);
  BOOL(ORV_CALLBACK* UnregisterMessageCallback)(HANDLE, MessageRoutine);
  BOOL(ORV_CALLBACK* SetReferenceFile)(HANDLE, LPCTSTR, DWORD);
  BOOL(ORV_CALLBACK* CopyFile)(LPCTSTR, LPCTSTR, void*, void*, BOOL*, DWORD);
  BOOL(ORV_CALLBACK* ExportImage)(HANDLE, HANDLE, DWORD);
  BOOL(ORV_CALLBACK* GetImageInformation)(HANDLE, void**, DWORD*);
  BOOL(ORV_CALLBACK* SetImageInformation)(HANDLE, void*, DWORD);
  BOOL(ORV_CALLBACK* SetBootImage)(HANDLE, DWORD);
};

enum class LoadResult { kLoaded, kLibraryMissing, kFunctionMissing };

// The name of the library the engine lives in, for the log.
const Char* EngineLibraryName();

// Loads the engine's library into `module` and fills every function of the table;
// on any failure the module is left unloaded.
LoadResult LoadEngine(os::Module& module, Functions& functions);

}  // namespace orv::wim
