// The Windows engine: wimgapi.dll, loaded by name, every function found by name, so
// the library loads and answers cleanly where the imaging interface is not installed.
#if defined(_WIN32)
#include "wim/engine.h"

namespace orv::wim {

namespace {

template <class Function>
bool Resolve(const os::Module& module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(module.Find(name));
  return function != nullptr;
}

}  // namespace

const Char* EngineLibraryName() { return ORV_T("wimgapi.dll"); }

LoadResult LoadEngine(os::Module& module, Functions& f) {
  if (module.Load(EngineLibraryName()) != 0) return LoadResult::kLibraryMissing;
  const bool found = Resolve(module, "WIMCreateFile", f.CreateFile) &&
                     Resolve(module, "WIMGetImageCount", f.GetImageCount) &&
                     Resolve(module, "WIMGetAttributes", f.GetAttributes) &&
                     Resolve(module, "WIMCloseHandle", f.CloseHandle) &&
                     Resolve(module, "WIMApplyImage", f.ApplyImage) &&
                     Resolve(module, "WIMLoadImage", f.LoadImage) &&
                     Resolve(module, "WIMMountImage", f.MountImage) &&
                     Resolve(module, "WIMUnmountImage", f.UnmountImage) &&
                     Resolve(module, "WIMCaptureImage", f.CaptureImage) &&
                     Resolve(module, "WIMSplitFile", f.SplitFile) &&
                     Resolve(module, "WIMSetTemporaryPath", f.SetTemporaryPath) &&
                     Resolve(module, "WIMRegisterMessageCallback", f.RegisterMessageCallback) &&
                     Resolve(module, "WIMUnregisterMessageCallback", f.UnregisterMessageCallback) &&
                     Resolve(module, "WIMSetReferenceFile", f.SetReferenceFile) &&
                     Resolve(module, "WIMCopyFile", f.CopyFile) &&
                     Resolve(module, "WIMExportImage", f.ExportImage) &&
                     Resolve(module, "WIMGetImageInformation", f.GetImageInformation) &&
                     Resolve(module, "WIMSetImageInformation", f.SetImageInformation) &&
                     Resolve(module, "WIMSetBootImage", f.SetBootImage);
  if (!found) {
    module.Unload();
    return LoadResult::kFunctionMissing;
  }
  return LoadResult::kLoaded;
}

}  // namespace orv::wim
#endif
