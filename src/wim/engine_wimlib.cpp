// The Linux engine: wimlib (libwim.so.15) loaded at run time, behind the functions of
// the Windows imaging interface. This file holds the loader, the handles, the error
// codes and the bridge from wimlib's progress messages to the WIM messages.
#if !defined(_WIN32)
#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/native_name.h"
#include "wim/engine_state.h"

namespace orv::wim {

namespace {

lib::Library library{};
std::mutex libraryMutex;

template <class Function>
bool Resolve(const os::Module& module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(module.Find(name));
  return function != nullptr;
}

bool ResolveLibrary(const os::Module& m, lib::Library& l) {
  return Resolve(m, "wimlib_create_new_wim", l.create_new_wim) &&
         Resolve(m, "wimlib_open_wim_with_progress", l.open_wim_with_progress) &&
         Resolve(m, "wimlib_register_progress_function", l.register_progress_function) &&
         Resolve(m, "wimlib_free", l.free) && Resolve(m, "wimlib_get_wim_info", l.get_wim_info) &&
         Resolve(m, "wimlib_set_wim_info", l.set_wim_info) &&
         Resolve(m, "wimlib_add_image", l.add_image) &&
         Resolve(m, "wimlib_delete_image", l.delete_image) && Resolve(m, "wimlib_write", l.write) &&
         Resolve(m, "wimlib_overwrite", l.overwrite) &&
         Resolve(m, "wimlib_extract_image", l.extract_image) &&
         Resolve(m, "wimlib_extract_paths", l.extract_paths) &&
         Resolve(m, "wimlib_split", l.split) &&
         Resolve(m, "wimlib_reference_resource_files", l.reference_resource_files) &&
         Resolve(m, "wimlib_get_xml_data", l.get_xml_data) &&
         Resolve(m, "wimlib_set_image_property", l.set_image_property) &&
         Resolve(m, "wimlib_export_image", l.export_image) &&
         Resolve(m, "wimlib_iterate_dir_tree", l.iterate_dir_tree) &&
         Resolve(m, "wimlib_unmount_image", l.unmount_image);
}

}  // namespace

const Char* EngineLibraryName() { return ORV_T("libwim.so.15"); }

LoadResult LoadEngine(os::Module& module, Functions& f) {
  if (module.Load(EngineLibraryName()) != 0) return LoadResult::kLibraryMissing;
  {
    // Every object holds the library while it lives, so the addresses found stay valid
    // for all of them; they change only after the last object let it go, and then no
    // one is left to read the old ones.
    std::lock_guard<std::mutex> lock(libraryMutex);
    lib::Library found{};
    if (!ResolveLibrary(module, found)) {
      module.Unload();
      return LoadResult::kFunctionMissing;
    }
    if (std::memcmp(&found, &library, sizeof found) != 0) library = found;
  }
  using namespace linux_engine;
  f.CreateFile = CreateFile;
  f.GetImageCount = GetImageCount;
  f.GetAttributes = GetAttributes;
  f.CloseHandle = CloseHandle;
  f.ApplyImage = ApplyImage;
  f.LoadImage = LoadImage;
  f.MountImage = MountImage;
  f.UnmountImage = UnmountImage;
  f.CaptureImage = CaptureImage;
  f.SplitFile = SplitFile;
  f.SetTemporaryPath = SetTemporaryPath;
  f.RegisterMessageCallback = RegisterMessageCallback;
  f.UnregisterMessageCallback = UnregisterMessageCallback;
  f.SetReferenceFile = SetReferenceFile;
  f.CopyFile = CopyFile;
  f.ExportImage = ExportImage;
  f.GetImageInformation = GetImageInformation;
  f.SetImageInformation = SetImageInformation;
  f.SetBootImage = SetBootImage;
  return LoadResult::kLoaded;
}

namespace linux_engine {

namespace {

// Windows codes that errors.h does not name.
constexpr DWORD kWriteFault = 29;
constexpr DWORD kBusy = 170;
constexpr DWORD kNotFound = 1168;

std::mutex handleMutex;
std::unordered_map<HANDLE, std::unique_ptr<HandleObject>> handles;

}  // namespace

const lib::Library& Wimlib() { return library; }

DWORD WindowsError(int error) {
  using namespace lib;
  switch (error) {
    case kErrSuccess:
      return err::kSuccess;
    case kErrNomem:
      return err::kNotEnoughMemory;
    case kErrOpen:
    case kErrStat:
      return err::kFileNotFound;
    case kErrPathDoesNotExist:
    case kErrOpendir:
    case kErrMkdir:
      return err::kPathNotFound;
    case kErrNotdir:
      return err::kDirectory;
    case kErrNotAWimFile:
    case kErrInvalidHeader:
    case kErrUnknownVersion:
      return err::kBadFormat;
    case kErrRead:
    case kErrUnexpectedEndOfFile:
    case kErrDecompression:
    case kErrInvalidResourceHash:
    case kErrInvalidMetadataResource:
    case kErrInvalidLookupTableEntry:
    case kErrInvalidIntegrityTable:
    case kErrIntegrity:
    case kErrMetadataNotFound:
    case kErrWimIsIncomplete:
    case kErrXml:
      return err::kFileCorrupt;
    case kErrWrite:
      return kWriteFault;
    case kErrInvalidParam:
    case kErrInvalidImage:
    case kErrImageCount:
    case kErrInvalidCompressionType:
    case kErrInvalidPartNumber:
    case kErrIsSplitWim:
    case kErrSplitInvalid:
    case kErrNotAMountpoint:
    case kErrNoFilename:
      return err::kInvalidParameter;
    case kErrAbortedByProgress:
      return kRequestAborted;
    case kErrImageNameCollision:
    case kErrDuplicateExportedImage:
      return err::kAlreadyExists;
    case kErrResourceNotFound:
      return kNotFound;
    case kErrWimIsReadonly:
    case kErrInsufficientPrivileges:
    case kErrNotPermittedToUnmount:
    case kErrRename:
      return err::kAccessDenied;
    case kErrFuse:
    case kErrUnsupported:
      return err::kNotSupported;
    case kErrAlreadyLocked:
      return err::kSharingViolation;
    case kErrMountedImageIsBusy:
      return kBusy;
    case kErrIsDirectory:
    case kErrNotARegularFile:
      return err::kAccessDenied;
    case kErrNotempty:
      return err::kDirNotEmpty;
    default:
      return err::kInternalError;
  }
}

WimFile::~WimFile() {
  if (wim != nullptr) Wimlib().free(wim);
}

DWORD WimFile::ImageCount() const {
  lib::WimInfo info{};
  return Wimlib().get_wim_info(wim, &info) == 0 ? info.image_count : 0;
}

DWORD WimFile::Send(DWORD message, ORVVALUE first, ORVVALUE second) {
  // A copy: a routine may unregister itself while it runs.
  const std::vector<Routine> current = routines;
  for (const Routine& r : current) {
    const DWORD answer = r.routine(message, first, second, r.userData);
    if (answer != kMsgSuccess) return answer;
  }
  return kMsgSuccess;
}

DWORD WimFile::Commit() {
  const lib::Library& l = Wimlib();
  if (backed) {
    if (!dirty) return err::kSuccess;
    if (int error = l.overwrite(wim, 0, 0)) return WindowsError(error);
    dirty = false;
    return err::kSuccess;
  }
  const int writeFlags = (flags & kFlagVerify) ? lib::kWriteCheckIntegrity : 0;
  if (int error = l.write(wim, nativePath.c_str(), lib::kAllImages, writeFlags, 0))
    return WindowsError(error);
  // From now on the file on disk is the WIM; later changes are written in place.
  lib::WIMStruct* reopened = nullptr;
  if (int error = l.open_wim_with_progress(nativePath.c_str(), lib::kOpenWriteAccess, &reopened,
                                           Progress, this))
    return WindowsError(error);
  l.free(wim);
  wim = reopened;
  backed = true;
  dirty = false;
  exportSources.clear();
  return err::kSuccess;
}

DWORD WimFile::ReplaceReferences(std::vector<std::string> files) {
  const lib::Library& l = Wimlib();
  if (!references.empty()) {
    if (!backed || dirty) return err::kInvalidParameter;
    lib::WIMStruct* reopened = nullptr;
    const int openFlags = Writable() ? lib::kOpenWriteAccess : 0;
    if (int error =
            l.open_wim_with_progress(nativePath.c_str(), openFlags, &reopened, Progress, this))
      return WindowsError(error);
    l.free(wim);
    wim = reopened;
    references.clear();
  }
  for (std::string& file : files) {
    const char* names[] = {file.c_str()};
    if (int error = l.reference_resource_files(wim, names, 1, 0, 0)) return WindowsError(error);
    references.push_back(std::move(file));
  }
  return err::kSuccess;
}

HANDLE NewHandle(std::shared_ptr<WimFile> file, DWORD image) {
  auto object = std::make_unique<HandleObject>();
  object->file = std::move(file);
  object->image = image;
  HANDLE handle = object.get();
  std::lock_guard<std::mutex> lock(handleMutex);
  handles.emplace(handle, std::move(object));
  return handle;
}

HandleObject* FindAny(HANDLE handle) {
  std::lock_guard<std::mutex> lock(handleMutex);
  auto found = handles.find(handle);
  return found != handles.end() ? found->second.get() : nullptr;
}

HandleObject* FindWim(HANDLE handle) {
  HandleObject* object = FindAny(handle);
  return object != nullptr && object->image == 0 ? object : nullptr;
}

HandleObject* FindImage(HANDLE handle) {
  HandleObject* object = FindAny(handle);
  return object != nullptr && object->image != 0 ? object : nullptr;
}

void DeleteHandle(HANDLE handle) {
  std::unique_ptr<HandleObject> object;
  {
    std::lock_guard<std::mutex> lock(handleMutex);
    auto found = handles.find(handle);
    if (found == handles.end()) return;
    object = std::move(found->second);
    handles.erase(found);
  }
}

namespace {

DWORD Percent(uint64_t done, uint64_t total) {
  return total == 0 ? 100 : DWORD(std::min<uint64_t>(100, done * 100 / total));
}

// Milliseconds still to go, estimated from the time spent so far.
DWORD Remaining(const Operation& operation, uint64_t done, uint64_t total) {
  if (done == 0 || done >= total) return 0;
  const uint64_t spent = os::TickCount() - operation.startMs;
  return DWORD(std::min<uint64_t>(0xFFFFFFFF, spent * (total - done) / done));
}

int Answer(Operation& operation, DWORD answer) {
  if (answer != kMsgAbortImage) return lib::kProgressContinue;
  operation.aborted = true;
  return lib::kProgressAbort;
}

}  // namespace

int Progress(int message, lib::ProgressInfo* info, void* context) {
  WimFile& file = *static_cast<WimFile*>(context);
  if (file.operation == nullptr || file.routines.empty()) return lib::kProgressContinue;
  Operation& operation = *file.operation;
  switch (message) {
    case lib::kMsgWriteStreams: {
      const auto& w = info->write_streams;
      return Answer(operation, file.Send(kMsgProgress, Percent(w.completed_bytes, w.total_bytes),
                                         Remaining(operation, w.completed_bytes, w.total_bytes)));
    }
    case lib::kMsgExtractStreams: {
      const auto& e = info->extract;
      return Answer(operation, file.Send(kMsgProgress, Percent(e.completed_bytes, e.total_bytes),
                                         Remaining(operation, e.completed_bytes, e.total_bytes)));
    }
    case lib::kMsgTestFileExclusion: {
      auto& t = info->test_file_exclusion;
      const WString path = os::GivenNameOf(t.path, operation.nativeRoot, operation.givenRoot);
      BOOL include = TRUE;
      const DWORD answer = file.Send(kMsgProcess, reinterpret_cast<ORVVALUE>(path.c_str()),
                                     reinterpret_cast<ORVVALUE>(&include));
      t.will_exclude = !include;
      return Answer(operation, answer);
    }
    case lib::kMsgHandleError: {
      auto& h = info->handle_error;
      const WString path = h.path != nullptr
                               ? os::GivenNameOf(h.path, operation.nativeRoot, operation.givenRoot)
                               : WString();
      const DWORD answer = file.Send(kMsgError, reinterpret_cast<ORVVALUE>(path.c_str()),
                                     WindowsError(h.error_code));
      h.will_ignore = answer == kMsgSkipError;
      return Answer(operation, answer);
    }
    default:
      return lib::kProgressContinue;
  }
}

}  // namespace linux_engine
}  // namespace orv::wim
#endif
