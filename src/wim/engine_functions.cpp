// The WIM functions of the Linux engine, with the semantics of the Windows imaging
// interface: handles from create and load, results and the thread's last error.
#if !defined(_WIN32)
#include <sys/stat.h>
#include <sys/vfs.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/last_error.h"
#include "platform/local_memory.h"
#include "platform/native_name.h"
#include "wim/engine_image_xml.h"
#include "wim/engine_state.h"

namespace orv::wim::linux_engine {

namespace {

constexpr DWORD kAllAccess = kGenericRead | kGenericWrite | kGenericMount;
constexpr DWORD kMaxCompression = 3;
constexpr DWORD kCopyFailIfExists = 1;

template <class Result>
Result Fail(DWORD error, Result result) {
  os::SetThreadLastError(error);
  return result;
}

template <class Result>
Result Succeed(Result result) {
  os::SetThreadLastError(err::kSuccess);
  return result;
}

// Marks the call in progress on the file for the progress bridge, for its duration.
class OperationScope {
 public:
  OperationScope(WimFile& file, std::string nativeRoot, WString givenRoot) : file_(file) {
    operation_.nativeRoot = std::move(nativeRoot);
    operation_.givenRoot = std::move(givenRoot);
    operation_.startMs = os::TickCount();
    file_.operation = &operation_;
  }
  ~OperationScope() { file_.operation = nullptr; }
  bool Aborted() const { return operation_.aborted; }
  // The Windows error of a failed wimlib call, "aborted" when a routine asked for it.
  DWORD ErrorOf(int wimlibError) const {
    return operation_.aborted ? kRequestAborted : WindowsError(wimlibError);
  }

 private:
  WimFile& file_;
  Operation operation_;
};

DWORD ExistingFolder(LPCTSTR path) {
  DWORD attributes = 0;
  if (DWORD error = os::GetAttributes(path, attributes)) return error;
  return (attributes & os::kAttrDirectory) ? err::kSuccess : err::kDirectory;
}

void CopyText(Char* target, size_t capacity, std::string_view utf8) {
  const WString text = os::FromUtf8(utf8).substr(0, capacity - 1);
  std::copy(text.begin(), text.end(), target);
  target[text.size()] = 0;
}

void PutFileTime(DWORD (&target)[2], const lib::Timespec& time) {
  const os::FileTime value = FileTimeOf(time);
  target[0] = DWORD(value);
  target[1] = DWORD(value >> 32);
}

// One entry of an image as the file-information message reports it.
WimFindData FindDataOf(const lib::DirEntry& entry) {
  WimFindData data{};
  data.attributes = entry.attributes;
  PutFileTime(data.creationTime, entry.creation_time);
  PutFileTime(data.lastAccessTime, entry.last_access_time);
  PutFileTime(data.lastWriteTime, entry.last_write_time);
  const uint64_t size =
      (entry.attributes & os::kAttrDirectory) ? 0 : entry.streams[0].resource.uncompressed_size;
  data.sizeHigh = DWORD(size >> 32);
  data.sizeLow = DWORD(size);
  CopyText(data.fileName, std::size(data.fileName), entry.filename ? entry.filename : "");
  CopyText(data.alternateFileName, std::size(data.alternateFileName),
           entry.dos_name ? entry.dos_name : "");
  return data;
}

// The walk of an image before it is applied: each entry is offered to the routines
// (process message, which may leave it out) and reported (file-information message).
struct ApplyWalk {
  WimFile* file;
  WString givenTarget;
  bool reportInfo;
  std::vector<std::string> order;     // every entry, in tree order
  std::vector<std::string> excluded;  // entries left out, with all they hold
  bool aborted = false;

  static int Visit(const lib::DirEntry* entry, void* context) {
    return static_cast<ApplyWalk*>(context)->OnEntry(*entry);
  }

  int OnEntry(const lib::DirEntry& entry) {
    const std::string inImage = entry.full_path ? entry.full_path : "";
    if (inImage.empty() || inImage == "/") return 0;  // the root is the target itself
    for (const std::string& out : excluded)
      if (ImagePathBelow(inImage, out)) return 0;
    order.push_back(inImage);
    // Paths in the image start at its root, "/"; the caller sees them below the target.
    const WString path = os::GivenNameOf(inImage, "/", givenTarget);
    BOOL include = TRUE;
    DWORD answer = file->Send(kMsgProcess, reinterpret_cast<ORVVALUE>(path.c_str()),
                              reinterpret_cast<ORVVALUE>(&include));
    if (answer != kMsgAbortImage && !include) excluded.push_back(inImage);
    if (answer != kMsgAbortImage && include && reportInfo) {
      WimFindData data = FindDataOf(entry);
      answer = file->Send(kMsgFileInfo, reinterpret_cast<ORVVALUE>(path.c_str()),
                          reinterpret_cast<ORVVALUE>(&data));
    }
    if (answer == kMsgAbortImage) {
      aborted = true;
      return 1;  // ends the iteration
    }
    return 0;
  }

  // The fewest image paths whose trees hold exactly the entries not left out.
  std::vector<std::string> Cover() const {
    std::vector<std::string> cover;
    for (const std::string& path : order) {
      if (std::find(excluded.begin(), excluded.end(), path) != excluded.end()) continue;
      if (!cover.empty() && ImagePathBelow(path, cover.back())) continue;
      const bool holdsExcluded = std::any_of(excluded.begin(), excluded.end(),
                                             [&](const std::string& e) { return ImagePathBelow(e, path); });
      if (!holdsExcluded) cover.push_back(path);
    }
    return cover;
  }
};

DWORD ApplyTree(HandleObject& image, LPCTSTR target, DWORD flags) {
  WimFile& file = *image.file;
  const lib::Library& l = Wimlib();
  std::string native;
  if (DWORD error = os::NativeNameOf(target, native)) return error;
  OperationScope scope(file, native, target);
  const bool noApply = (flags & kFlagNoApply) != 0;
  ApplyWalk walk{&file, target, (flags & kFlagFileInfo) != 0, {}, {}};
  if (!file.routines.empty()) {
    if (int error = l.iterate_dir_tree(file.wim, int(image.image), "/", lib::kIterateRecursive,
                                       ApplyWalk::Visit, &walk);
        error != 0 && !walk.aborted)
      return WindowsError(error);
    if (walk.aborted) return kRequestAborted;
  }
  if (noApply) return err::kSuccess;
  int extractFlags = 0;
  if (DWORD error = ChooseApplyTarget(target, native, extractFlags)) return error;
  int error = 0;
  if (walk.excluded.empty()) {
    error = l.extract_image(file.wim, int(image.image), native.c_str(), extractFlags);
  } else {
    const std::vector<std::string> cover = walk.Cover();
    std::vector<const char*> paths;
    for (const std::string& path : cover) paths.push_back(path.c_str());
    if (!paths.empty())
      error = l.extract_paths(file.wim, int(image.image), native.c_str(), paths.data(),
                              paths.size(), extractFlags);
  }
  if (error != 0) return scope.ErrorOf(error);
  // A volume written in NTFS mode has every item already.
  if (extractFlags & lib::kExtractNtfs || !HoldsWindowsMetadata(target)) return err::kSuccess;
  return ApplyWindowsMetadata(file, int(image.image), target, walk.excluded);
}

// Runs fusermount with `options` on the folder; whether it ended well.
bool Fusermount(WStringView options, const std::string& folder) {
  DWORD exitCode = 0;
  const WString command = ORV_T("fusermount ") + WString(options) + ORV_T(" \"") +
                          os::FromUtf8(folder) + ORV_T("\"");
  return os::RunProgram(command, true, exitCode) == err::kSuccess && exitCode == 0;
}

// A FUSE mount whose daemon is gone leaves a dead endpoint on its folder ("transport
// endpoint is not connected"), which nothing can open or remove: it is let go.
void LetGoOfDeadMount(const std::string& folder) {
  struct stat status {};
  if (stat(folder.c_str(), &status) == 0 || errno != ENOTCONN) return;
  Fusermount(ORV_T("-u -z"), folder);
}

// Whether a FUSE file system is mounted on the folder itself.
bool HoldsFuseMount(const std::string& folder) {
  constexpr unsigned long kFuseMagic = 0x65735546;
  struct statfs filesystem {};
  struct stat own {}, parent {};
  const std::string above = folder + "/..";  // the folder the mount point is in
  return statfs(folder.c_str(), &filesystem) == 0 &&
         static_cast<unsigned long>(filesystem.f_type) == kFuseMagic &&
         stat(folder.c_str(), &own) == 0 && stat(above.c_str(), &parent) == 0 &&
         own.st_dev != parent.st_dev;
}

// After a mount program that reported failure, nothing it made may stay on the folder:
// a dead endpoint is let go, and a FUSE mount that it made all the same (its daemon
// still serving) is ended without a commit, so the folder can be removed. A mount that
// was on the folder before the program ran is not the program's and stays.
void LetGoOfFailedMount(const std::string& folder, bool mountedBefore) {
  LetGoOfDeadMount(folder);
  if (mountedBefore || !HoldsFuseMount(folder)) return;
  if (!Fusermount(ORV_T("-u"), folder)) Fusermount(ORV_T("-u -z"), folder);
}

DWORD CopyWithProgress(LPCTSTR source, LPCTSTR target, void* routine, void* data, BOOL* cancel,
                       DWORD flags) {
  // The copy-progress routine of the Windows file copy; 64-bit sizes travel by value.
  using CopyRoutine = DWORD(ORV_CALLBACK*)(LONGLONG, LONGLONG, LONGLONG, LONGLONG, DWORD, DWORD,
                                           HANDLE, HANDLE, void*);
  constexpr DWORD kProgressCancel = 1, kProgressStop = 2, kProgressQuiet = 3;
  os::File in, out;
  if (DWORD error =
          in.Open(source, os::kGenericRead, os::kShareRead, os::Disposition::kOpenExisting))
    return error;
  uint64_t total = 0;
  if (DWORD error = in.Size(total)) return error;
  const auto disposition =
      (flags & kCopyFailIfExists) ? os::Disposition::kCreateNew : os::Disposition::kCreateAlways;
  if (DWORD error = out.Open(target, os::kGenericWrite, 0, disposition)) return error;
  auto progress = reinterpret_cast<CopyRoutine>(routine);
  std::vector<BYTE> buffer(1 << 20);
  uint64_t done = 0;
  DWORD result = err::kSuccess;
  bool removeTarget = false;
  for (;;) {
    if (cancel != nullptr && *cancel) {
      result = kRequestAborted;
      removeTarget = true;
      break;
    }
    DWORD read = 0, written = 0;
    if ((result = in.Read(buffer.data(), DWORD(buffer.size()), read)) != 0) break;
    if (read == 0) break;
    if ((result = out.Write(buffer.data(), read, written)) != 0) break;
    done += read;
    if (progress != nullptr) {
      const DWORD answer = progress(LONGLONG(total), LONGLONG(done), LONGLONG(total),
                                    LONGLONG(done), 1, 0, nullptr, nullptr, data);
      if (answer == kProgressCancel || answer == kProgressStop) {
        result = kRequestAborted;
        removeTarget = answer == kProgressCancel;
        break;
      }
      if (answer == kProgressQuiet) progress = nullptr;
    }
  }
  if (result == err::kSuccess) result = out.Flush();
  out.Close();
  if (removeTarget) os::DeleteFile(target);
  return result;
}

}  // namespace

HANDLE ORV_CALLBACK CreateFile(LPCTSTR path, DWORD access, DWORD disposition, DWORD flags,
                               DWORD compression, DWORD* creationResult) {
  if (path == nullptr || *path == 0 || access == 0 || (access & ~kAllAccess) != 0 ||
      disposition < kCreateNew || disposition > kOpenAlways || compression > kMaxCompression)
    return Fail(err::kInvalidParameter, HANDLE(nullptr));
  const lib::Library& l = Wimlib();
  auto file = std::make_shared<WimFile>();
  file->path = path;
  file->access = access;
  file->flags = flags;
  if (DWORD error = os::NativeNameOf(path, file->nativePath)) return Fail(error, HANDLE(nullptr));
  DWORD attributes = 0;
  const bool exists = os::GetAttributes(path, attributes) == err::kSuccess;
  if (exists && (attributes & os::kAttrDirectory)) return Fail(err::kAccessDenied, HANDLE(nullptr));
  if (disposition == kCreateNew && exists) return Fail(err::kFileExists, HANDLE(nullptr));
  if (disposition == kOpenExisting && !exists) return Fail(err::kFileNotFound, HANDLE(nullptr));
  const bool create = disposition == kCreateAlways || !exists;
  if (create) {
    if (!file->Writable()) return Fail(err::kAccessDenied, HANDLE(nullptr));
    // The file exists from now on, as the caller expects of a create.
    os::File created;
    if (DWORD error = created.Open(path, os::kGenericWrite, 0, os::Disposition::kCreateAlways))
      return Fail(error, HANDLE(nullptr));
    created.Close();
    if (int error = l.create_new_wim(int(compression), &file->wim))
      return Fail(WindowsError(error), HANDLE(nullptr));
    l.register_progress_function(file->wim, Progress, file.get());
    file->dirty = true;  // written when closed, even without images
  } else {
    const int openFlags = file->Writable() ? lib::kOpenWriteAccess : 0;
    if (int error = l.open_wim_with_progress(file->nativePath.c_str(), openFlags, &file->wim,
                                             Progress, file.get()))
      return Fail(WindowsError(error), HANDLE(nullptr));
    file->backed = true;
  }
  if (creationResult != nullptr) *creationResult = create ? kCreatedNew : kOpenedExisting;
  return Succeed(NewHandle(std::move(file), 0));
}

DWORD ORV_CALLBACK GetImageCount(HANDLE handle) {
  HandleObject* object = FindWim(handle);
  if (object == nullptr) return Fail(err::kInvalidHandle, DWORD(0));
  return Succeed(object->file->ImageCount());
}

BOOL ORV_CALLBACK GetAttributes(HANDLE handle, void* record, DWORD size) {
  HandleObject* object = FindWim(handle);
  if (object == nullptr) return Fail(err::kInvalidHandle, FALSE);
  if (record == nullptr) return Fail(err::kInvalidParameter, FALSE);
  if (size < sizeof(WimInfo)) return Fail(err::kInsufficientBuffer, FALSE);
  lib::WimInfo info{};
  if (int error = Wimlib().get_wim_info(object->file->wim, &info))
    return Fail(WindowsError(error), FALSE);
  WimInfo out{};
  const WString path = object->file->path.substr(0, std::size(out.wimPath) - 1);
  std::copy(path.begin(), path.end(), out.wimPath);
  std::memcpy(out.guid, info.guid, sizeof out.guid);
  out.imageCount = info.image_count;
  out.compressionType = DWORD(info.compression_type);
  out.partNumber = info.part_number;
  out.totalParts = info.total_parts;
  out.bootIndex = info.boot_index;
  // Attribute bits of the WIM interface: verify data 4, reparse-point fix 8, spanned 0x10.
  out.wimAttributes = ((info.flags & lib::kInfoHasIntegrityTable) ? 0x4 : 0) |
                      ((info.flags & lib::kInfoHasRpfix) ? 0x8 : 0) |
                      ((info.flags & lib::kInfoSpanned) ? 0x10 : 0);
  out.wimFlagsAndAttr = object->file->flags;
  std::memcpy(record, &out, sizeof out);
  return Succeed(TRUE);
}

BOOL ORV_CALLBACK CloseHandle(HANDLE handle) {
  HandleObject* object = FindAny(handle);
  if (object == nullptr) return Fail(err::kInvalidHandle, FALSE);
  WimFile& file = *object->file;
  // Changes are written when the WIM handle closes, or the last handle of the file.
  DWORD error = err::kSuccess;
  if (file.dirty && file.Writable() && (object->image == 0 || object->file.use_count() == 1))
    error = file.Commit();
  DeleteHandle(handle);
  return error == err::kSuccess ? Succeed(TRUE) : Fail(error, FALSE);
}

BOOL ORV_CALLBACK ApplyImage(HANDLE handle, LPCTSTR target, DWORD flags) {
  HandleObject* image = FindImage(handle);
  if (image == nullptr) return Fail(err::kInvalidHandle, FALSE);
  if (target == nullptr || *target == 0) return Fail(err::kInvalidParameter, FALSE);
  const DWORD error = ApplyTree(*image, target, flags);
  return error == err::kSuccess ? Succeed(TRUE) : Fail(error, FALSE);
}

HANDLE ORV_CALLBACK LoadImage(HANDLE handle, DWORD index) {
  HandleObject* object = FindWim(handle);
  if (object == nullptr) return Fail(err::kInvalidHandle, HANDLE(nullptr));
  if (index == 0 || index > object->file->ImageCount())
    return Fail(err::kInvalidParameter, HANDLE(nullptr));
  return Succeed(NewHandle(object->file, index));
}

BOOL ORV_CALLBACK MountImage(LPCTSTR mountPath, LPCTSTR wimPath, DWORD index, LPCTSTR tempPath) {
  if (mountPath == nullptr || wimPath == nullptr || index == 0)
    return Fail(err::kInvalidParameter, FALSE);
  std::string mountNative, wimNative, tempNative;
  if (DWORD error = os::NativeNameOf(mountPath, mountNative)) return Fail(error, FALSE);
  if (DWORD error = os::NativeNameOf(wimPath, wimNative)) return Fail(error, FALSE);
  if (DWORD error = ExistingFolder(mountPath)) return Fail(error, FALSE);
  DWORD attributes = 0;
  if (DWORD error = os::GetAttributes(wimPath, attributes)) return Fail(error, FALSE);
  // Mounting serves the image from a daemon process (FUSE); wimlib would turn the
  // calling process into that daemon, so its own mount programs do it instead. Without
  // a temporary folder for the changes the image is mounted read-only.
  const bool writable = tempPath != nullptr && *tempPath != 0;
  WString command = (writable ? ORV_T("wimmountrw \"") : ORV_T("wimmount \"")) +
                    os::FromUtf8(wimNative) + ORV_T("\" ") + os::FromUtf8(std::to_string(index)) +
                    ORV_T(" \"") + os::FromUtf8(mountNative) + ORV_T("\"");
  if (writable) {
    if (DWORD error = os::NativeNameOf(tempPath, tempNative)) return Fail(error, FALSE);
    command += ORV_T(" \"--staging-dir=") + os::FromUtf8(tempNative) + ORV_T("\"");
  }
  const bool mountedBefore = HoldsFuseMount(mountNative);
  DWORD exitCode = 0;
  if (os::RunProgram(command, true, exitCode) != err::kSuccess)
    return Fail(err::kNotSupported, FALSE);  // no mount program on this machine
  if (exitCode == 0) return Succeed(TRUE);
  LetGoOfFailedMount(mountNative, mountedBefore);
  // The program ends with wimlib's error code; FUSE refusing the mount is "not supported".
  const DWORD error = exitCode < 128 ? WindowsError(int(exitCode)) : err::kNotSupported;
  return Fail(error == err::kInternalError ? err::kNotSupported : error, FALSE);
}

BOOL ORV_CALLBACK UnmountImage(LPCTSTR mountPath, LPCTSTR wimPath, DWORD index, BOOL commit) {
  if (mountPath == nullptr) return Fail(err::kInvalidParameter, FALSE);
  std::string native;
  if (DWORD error = os::NativeNameOf(mountPath, native)) return Fail(error, FALSE);
  if (int error = Wimlib().unmount_image(native.c_str(), commit ? lib::kUnmountCommit : 0))
    return Fail(WindowsError(error), FALSE);
  // The daemon has ended; on a busy machine the kernel may still hold its endpoint.
  LetGoOfDeadMount(native);
  return Succeed(TRUE);
}

HANDLE ORV_CALLBACK CaptureImage(HANDLE handle, LPCTSTR source, DWORD flags) {
  HandleObject* object = FindWim(handle);
  if (object == nullptr) return Fail(err::kInvalidHandle, HANDLE(nullptr));
  WimFile& file = *object->file;
  if (!file.Writable()) return Fail(err::kAccessDenied, HANDLE(nullptr));
  if (source == nullptr || *source == 0) return Fail(err::kInvalidParameter, HANDLE(nullptr));
  CaptureSource chosen;
  if (DWORD error = ChooseCaptureSource(source, chosen)) return Fail(error, HANDLE(nullptr));
  const lib::Library& l = Wimlib();
  // wimlib names the entries of a volume from its root, "/".
  OperationScope scope(file, chosen.addFlags & lib::kAddNtfs ? "/" : chosen.native, source);
  const int addFlags =
      chosen.addFlags | (file.routines.empty() ? 0 : lib::kAddTestFileExclusion);
  if (int error = l.add_image(file.wim, chosen.native.c_str(), "", nullptr, addFlags))
    return Fail(scope.ErrorOf(error), HANDLE(nullptr));
  const DWORD index = file.ImageCount();
  const bool wasDirty = file.dirty;
  file.flags |= flags & kFlagVerify;
  file.dirty = true;
  if (DWORD error = file.Commit()) {
    // The image is taken back, so a later close does not write it after all.
    l.delete_image(file.wim, int(index));
    file.dirty = wasDirty;
    return Fail(scope.Aborted() ? kRequestAborted : error, HANDLE(nullptr));
  }
  return Succeed(NewHandle(object->file, index));
}

BOOL ORV_CALLBACK SplitFile(HANDLE handle, LPCTSTR partPath, LONGLONG* partSize, DWORD flags) {
  HandleObject* object = FindWim(handle);
  if (object == nullptr) return Fail(err::kInvalidHandle, FALSE);
  if (partPath == nullptr || partSize == nullptr || *partSize <= 0)
    return Fail(err::kInvalidParameter, FALSE);
  std::string native;
  if (DWORD error = os::NativeNameOf(partPath, native)) return Fail(error, FALSE);
  OperationScope scope(*object->file, native, partPath);
  if (int error = Wimlib().split(object->file->wim, native.c_str(), uint64_t(*partSize), 0))
    return Fail(scope.ErrorOf(error), FALSE);
  return Succeed(TRUE);
}

BOOL ORV_CALLBACK SetTemporaryPath(HANDLE handle, LPCTSTR path) {
  HandleObject* object = FindWim(handle);
  if (object == nullptr) return Fail(err::kInvalidHandle, FALSE);
  if (path == nullptr || *path == 0) return Fail(err::kInvalidParameter, FALSE);
  // wimlib keeps no scratch files of its own: the folder is checked as the interface
  // checks it, and nothing else depends on it.
  if (DWORD error = ExistingFolder(path))
    return Fail(error == err::kFileNotFound ? err::kPathNotFound : error, FALSE);
  return Succeed(TRUE);
}

DWORD ORV_CALLBACK RegisterMessageCallback(HANDLE handle, MessageRoutine routine, void* userData) {
  HandleObject* object = FindAny(handle);
  if (object == nullptr) return Fail(err::kInvalidHandle, kInvalidCallback);
  if (routine == nullptr) return Fail(err::kInvalidParameter, kInvalidCallback);
  object->file->routines.push_back({routine, userData});
  return Succeed(DWORD(object->file->routines.size() - 1));
}

BOOL ORV_CALLBACK UnregisterMessageCallback(HANDLE handle, MessageRoutine routine) {
  HandleObject* object = FindAny(handle);
  if (object == nullptr) return Fail(err::kInvalidHandle, FALSE);
  std::vector<Routine>& routines = object->file->routines;
  if (routine == nullptr) {
    routines.clear();
    return Succeed(TRUE);
  }
  const auto found = std::find_if(routines.begin(), routines.end(),
                                  [&](const Routine& r) { return r.routine == routine; });
  if (found == routines.end()) return Fail(err::kInvalidParameter, FALSE);
  routines.erase(found);
  return Succeed(TRUE);
}

BOOL ORV_CALLBACK SetReferenceFile(HANDLE handle, LPCTSTR path, DWORD flags) {
  HandleObject* object = FindWim(handle);
  if (object == nullptr) return Fail(err::kInvalidHandle, FALSE);
  WimFile& file = *object->file;
  const bool replace = (flags & kReferenceReplace) != 0;
  if (replace == ((flags & kReferenceAppend) != 0)) return Fail(err::kInvalidParameter, FALSE);
  // Replacing with no file empties the list.
  if (path == nullptr && replace) {
    const DWORD error = file.ReplaceReferences({});
    return error == err::kSuccess ? Succeed(TRUE) : Fail(error, FALSE);
  }
  if (path == nullptr || *path == 0) return Fail(err::kInvalidParameter, FALSE);
  std::string native;
  if (DWORD error = os::NativeNameOf(path, native)) return Fail(error, FALSE);
  DWORD error = err::kSuccess;
  if (replace) {
    error = file.ReplaceReferences({native});
  } else {
    const char* names[] = {native.c_str()};
    if (int failure = Wimlib().reference_resource_files(file.wim, names, 1, 0, 0))
      error = WindowsError(failure);
    else
      file.references.push_back(native);
  }
  return error == err::kSuccess ? Succeed(TRUE) : Fail(error, FALSE);
}

BOOL ORV_CALLBACK CopyFile(LPCTSTR source, LPCTSTR target, void* routine, void* data, BOOL* cancel,
                           DWORD flags) {
  if (source == nullptr || target == nullptr) return Fail(err::kInvalidParameter, FALSE);
  const DWORD error = CopyWithProgress(source, target, routine, data, cancel, flags);
  return error == err::kSuccess ? Succeed(TRUE) : Fail(error, FALSE);
}

BOOL ORV_CALLBACK ExportImage(HANDLE imageHandle, HANDLE wimHandle, DWORD flags) {
  HandleObject* image = FindImage(imageHandle);
  HandleObject* target = FindWim(wimHandle);
  if (image == nullptr || target == nullptr) return Fail(err::kInvalidHandle, FALSE);
  WimFile& destination = *target->file;
  if (!destination.Writable()) return Fail(err::kAccessDenied, FALSE);
  if (int error = Wimlib().export_image(image->file->wim, int(image->image), destination.wim,
                                        nullptr, nullptr, 0))
    return Fail(WindowsError(error), FALSE);
  destination.dirty = true;
  // The exported data is read from the source when the destination is written.
  if (image->file.get() != &destination) destination.exportSources.push_back(image->file);
  return Succeed(TRUE);
}

BOOL ORV_CALLBACK GetImageInformation(HANDLE handle, void** information, DWORD* size) {
  HandleObject* object = FindAny(handle);
  if (object == nullptr) return Fail(err::kInvalidHandle, FALSE);
  if (information == nullptr || size == nullptr) return Fail(err::kInvalidParameter, FALSE);
  void* document = nullptr;
  size_t documentSize = 0;
  if (int error = Wimlib().get_xml_data(object->file->wim, &document, &documentSize))
    return Fail(WindowsError(error), FALSE);
  std::vector<BYTE> block;
  const DWORD error = ImageInformationBlock(document, documentSize, object->image, block);
  std::free(document);
  if (error != err::kSuccess) return Fail(error, FALSE);
  void* out = os::LocalAllocate(block.size());
  if (out == nullptr) return Fail(err::kNotEnoughMemory, FALSE);
  std::memcpy(out, block.data(), block.size());
  *information = out;
  *size = DWORD(block.size());
  return Succeed(TRUE);
}

BOOL ORV_CALLBACK SetImageInformation(HANDLE handle, void* information, DWORD size) {
  HandleObject* image = FindImage(handle);
  if (image == nullptr) return Fail(err::kInvalidHandle, FALSE);
  if (information == nullptr || size == 0) return Fail(err::kInvalidParameter, FALSE);
  if (!image->file->Writable()) return Fail(err::kAccessDenied, FALSE);
  std::vector<std::pair<std::string, std::string>> properties;
  if (DWORD error = ImageProperties(information, size, properties)) return Fail(error, FALSE);
  for (const auto& [name, value] : properties)
    if (int error = Wimlib().set_image_property(image->file->wim, int(image->image), name.c_str(),
                                                value.c_str()))
      return Fail(WindowsError(error), FALSE);
  image->file->dirty = true;
  return Succeed(TRUE);
}

BOOL ORV_CALLBACK SetBootImage(HANDLE handle, DWORD index) {
  HandleObject* object = FindWim(handle);
  if (object == nullptr) return Fail(err::kInvalidHandle, FALSE);
  WimFile& file = *object->file;
  if (!file.Writable()) return Fail(err::kAccessDenied, FALSE);
  if (index > file.ImageCount()) return Fail(err::kInvalidParameter, FALSE);
  lib::WimInfo info{};
  info.boot_index = index;
  if (int error = Wimlib().set_wim_info(file.wim, &info, lib::kChangeBootIndex))
    return Fail(WindowsError(error), FALSE);
  file.dirty = true;
  return Succeed(TRUE);
}

}  // namespace orv::wim::linux_engine
#endif
