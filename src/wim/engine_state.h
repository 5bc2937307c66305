// The Linux engine's own state: the wimlib functions, the objects behind the handles it
// hands out, and the routines registered for their messages.
#pragma once

#if !defined(_WIN32)
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/text.h"
#include "wim/engine.h"
#include "wim/wimlib_api.h"

namespace orv::wim::linux_engine {

// The wimlib functions found when the engine was last loaded.
const lib::Library& Wimlib();

// The Windows error for a wimlib error code.
DWORD WindowsError(int wimlibError);

inline constexpr DWORD kRequestAborted = 1235;

// Paths in an image (engine_image_paths.cpp): "/" is its root, "/" separates names.
// Whether `path` lies below `folder`.
bool ImagePathBelow(const std::string& path, const std::string& folder);
// Whether every name of `path` reads the same in the library's path form: none holds a
// backslash, none is empty, "." or "..".
bool IsPlainImagePath(const std::string& path);
// A time of an image entry as a Windows file time.
os::FileTime FileTimeOf(const lib::Timespec& time);

struct Routine {
  MessageRoutine routine;
  void* userData;
};

// What the progress bridge needs to know about the call in progress.
struct Operation {
  std::string nativeRoot;  // source of a capture, target of an apply (native form)
  WString givenRoot;       // the same folder as the caller named it
  uint64_t startMs = 0;
  bool aborted = false;  // a routine answered "abort"
};

// One open WIM file.
struct WimFile {
  ~WimFile();

  lib::WIMStruct* wim = nullptr;
  WString path;  // as the caller gave it
  std::string nativePath;
  DWORD access = 0;
  DWORD flags = 0;
  bool backed = false;  // the file on disk holds the WIMStruct's images
  bool dirty = false;   // changes not yet written to the file
  std::vector<Routine> routines;
  std::vector<std::string> references;                  // other parts of a split set (native form)
  std::vector<std::shared_ptr<WimFile>> exportSources;  // kept alive until written
  Operation* operation = nullptr;

  bool Writable() const { return (access & kGenericWrite) != 0; }
  DWORD ImageCount() const;
  // Sends a message to every routine; the first answer other than 0 wins.
  DWORD Send(DWORD message, ORVVALUE first, ORVVALUE second);
  // Writes pending changes: a new file in full (then reopened from disk), an existing
  // one in place.
  DWORD Commit();
  // Makes `files` the whole reference list: wimlib cannot forget a reference, so a WIM
  // that has some is opened afresh first (only when it holds no unwritten changes).
  DWORD ReplaceReferences(std::vector<std::string> files);
};

// A handle is either a WIM (index 0) or one image of it.
struct HandleObject {
  std::shared_ptr<WimFile> file;
  DWORD image = 0;
};

// Where an apply writes (engine_apply_target.cpp): an NTFS device or image file that no
// one mounts is written as a volume (NTFS mode: `native` becomes the canonical device,
// `extractFlags` gets lib::kExtractNtfs); a mounted one is refused (32), for the driver
// would not see the changes and would overwrite them. Anything else is a folder.
DWORD ChooseApplyTarget(LPCTSTR target, std::string& native, int& extractFlags);

// Whether the folder lies on a volume that holds Windows metadata (NTFS through ntfs-3g).
bool HoldsWindowsMetadata(LPCTSTR folder);

// The reparse data (with its header) of an entry whose reparse stream is `stream`, read
// from the WIM file where the stream lies there uncompressed; false when it does not
// (engine_reparse_data.cpp).
bool ReadStoredReparseData(const WimFile& file, DWORD tag, const lib::ResourceEntry& stream,
                           std::vector<uint8_t>& data);

// After a directory extraction of `image` onto a volume that holds Windows metadata,
// sets every item of it that the image keeps on each extracted entry (all but those
// below the `excluded` image paths), and on the target itself when it is the volume's
// root. A failure goes to the routines as an error message;
// unless they answer "skip" it ends the apply (engine_windows_metadata.cpp).
DWORD ApplyWindowsMetadata(WimFile& file, int image, WStringView givenTarget,
                           const std::vector<std::string>& excluded);

// Where a capture reads from (engine_capture_source.cpp): the root of an NTFS volume
// mounted read-only through ntfs-3g, or an NTFS device or image file that no one mounts
// read-write, is read as a volume (NTFS mode) and keeps every Windows item; any other
// folder is read as a folder, with a notice naming what it cannot keep.
struct CaptureSource {
  std::string native;  // what wimlib reads: the folder, or the device or image file
  int addFlags = 0;    // lib::kAddNtfs for a volume
};
DWORD ChooseCaptureSource(LPCTSTR source, CaptureSource& chosen);

HANDLE NewHandle(std::shared_ptr<WimFile> file, DWORD image);
// Null when `handle` is not one of ours or not of the wanted kind.
HandleObject* FindWim(HANDLE handle);
HandleObject* FindImage(HANDLE handle);
HandleObject* FindAny(HANDLE handle);
void DeleteHandle(HANDLE handle);

// The progress function registered on every WIMStruct, its context the WimFile.
int Progress(int message, lib::ProgressInfo* info, void* context);

// The functions of the table.
HANDLE ORV_CALLBACK CreateFile(LPCTSTR, DWORD, DWORD, DWORD, DWORD, DWORD*);
DWORD ORV_CALLBACK GetImageCount(HANDLE);
BOOL ORV_CALLBACK GetAttributes(HANDLE, void*, DWORD);
BOOL ORV_CALLBACK CloseHandle(HANDLE);
BOOL ORV_CALLBACK ApplyImage(HANDLE, LPCTSTR, DWORD);
HANDLE ORV_CALLBACK LoadImage(HANDLE, DWORD);
BOOL ORV_CALLBACK MountImage(LPCTSTR, LPCTSTR, DWORD, LPCTSTR);
BOOL ORV_CALLBACK UnmountImage(LPCTSTR, LPCTSTR, DWORD, BOOL);
HANDLE ORV_CALLBACK CaptureImage(HANDLE, LPCTSTR, DWORD);
BOOL ORV_CALLBACK SplitFile(HANDLE, LPCTSTR, LONGLONG*, DWORD);
BOOL ORV_CALLBACK SetTemporaryPath(HANDLE, LPCTSTR);
DWORD ORV_CALLBACK RegisterMessageCallback(HANDLE, MessageRoutine, void*);
BOOL ORV_CALLBACK UnregisterMessageCallback(HANDLE, MessageRoutine);
BOOL ORV_CALLBACK SetReferenceFile(HANDLE, LPCTSTR, DWORD);
BOOL ORV_CALLBACK CopyFile(LPCTSTR, LPCTSTR, void*, void*, BOOL*, DWORD);
BOOL ORV_CALLBACK ExportImage(HANDLE, HANDLE, DWORD);
BOOL ORV_CALLBACK GetImageInformation(HANDLE, void**, DWORD*);
BOOL ORV_CALLBACK SetImageInformation(HANDLE, void*, DWORD);
BOOL ORV_CALLBACK SetBootImage(HANDLE, DWORD);

}  // namespace orv::wim::linux_engine
#endif
