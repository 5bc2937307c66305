// A WIM file of an image folder, checked through the imaging engine: it must open with
// the engine's integrity check and hold at least one image.
#include "image/verify_steps.h"
#include "wim/wim.h"

namespace orv::verify {

void VerifyWim(const FolderListing& listing, const ListedFile& wim, Findings& findings) {
  const WString path = listing.PathOf(wim.name);
  COrvWim engine;
  DWORD created = 0;
  HANDLE file = engine.WIMCreateFile(path.c_str(), wim::kGenericRead, wim::kOpenExisting,
                                     wim::kFlagVerify, wim::kCompressNone, &created);
  if (file == nullptr) {
    findings.Add(wim.name, {}, ORV_T("the imaging engine cannot open it"), engine.GetLastErrorCode());
    return;
  }
  if (engine.WIMGetImageCount(file) == 0)
    findings.Add(wim.name, {}, ORV_T("holds no image"), engine.GetLastErrorCode());
  engine.WIMCloseHandle(file);
}

}  // namespace orv::verify
