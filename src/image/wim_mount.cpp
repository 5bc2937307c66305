// The mounted WIM that a file-by-file capture copies into: a new one-image WIM file
// holding only the placeholder QUEN.DAV, mounted read-write in a work folder below the
// volume root, and its commit and unmount afterwards.
#include "image/capture_paths.h"
#include "image/image.h"
#include "image/new_wim.h"
#include "platform/file.h"
#include "platform/folder.h"
#include "platform/system.h"
#include "services/log.h"
#include "wim/engine.h"
#include "wim/wim.h"

namespace orv {

namespace {

// The password file the image is made with, so that its one image holds exactly it.
constexpr DWORD kPlaceholderSize = 512;

// Writes the placeholder as a new file: whatever was at its path goes first as itself,
// so a link planted there is never written through.
DWORD WritePlaceholder(const WString& path) {
  os::File file;
  if (DWORD error = os::CreateNewFile(path, file)) return error;
  const uint8_t zeros[kPlaceholderSize] = {};
  DWORD done = 0;
  DWORD error = file.Write(zeros, kPlaceholderSize, done);
  if (error == 0 && done != kPlaceholderSize) error = 112;  // disk full
  if (error == 0) error = file.Flush();
  return error;
}

}  // namespace

BOOL COrvImage::MountImageWIM(WString& mountFolder, const WString& wimFile) {
  COrvLog& log = COrvLog::GetInstance();
  log.EnterFunction(ORV_T("BOOL COrvImage::MountImageWIM(LPCTSTR pstrFile=%s, LPTSTR pstrImgDrive,BOOL bCreateFirstWIM=%u)"),
                    wimFile, 1u);
  // The work folders lie below the root of the volume being captured.
  const WString parent = WithSeparator(capture_.volumeRoot) + ORV_T("System Recovery");
  const WString mount = parent + ORV_T("\\TMP_MOUNT");
  const WString temporary = parent + ORV_T("\\TEMP");
  os::CreateDirectory(parent);
  os::CreateDirectory(mount);
  os::CreateDirectory(temporary);

  const WString placeholder = mount + ORV_T("\\QUEN.DAV");
  if (WritePlaceholder(placeholder) == 0)
    log.AddInfo(ORV_T("Create %s"), placeholder);
  else
    log.AddError(ORV_T("Cannot create %s"), placeholder);

  {
    COrvWim wim;
    if (!CreateNewWim(wim, wimFile, wim::kCompressLzx)) {
      m_Error.SetError(wim.GetLastErrorCode());
      log.AddError(ORV_T("WIMCreateFile(%s) failed"), wimFile);
      return log.ExitFunction(FALSE);
    }
    HANDLE image = wim.WIMCaptureImage(nullptr, mount.c_str(), wim::kFlagVerify);
    if (image == nullptr) {
      m_Error.SetError(wim.GetLastErrorCode());
      log.AddError(ORV_T("WIMCaptureImage(%s) failed"), mount);
      wim.WIMCloseHandle(nullptr);
      return log.ExitFunction(FALSE);
    }
    RewriteImageInformation(wim, image);
    wim.WIMCloseHandle(image);
    const bool written = wim.WIMCloseHandle(nullptr);
    os::DeleteEntryAt(placeholder);
    if (!written) {
      m_Error.SetError(wim.GetLastErrorCode());
      log.AddError(ORV_T("WIMCreateFile(%s) failed"), wimFile);
      return log.ExitFunction(FALSE);
    }
  }

  COrvWim wim;
  log.AddInfo(ORV_T("WIMMountImage(%s,%s,1,%s)"), mount, wimFile, temporary);
  if (!wim.WIMMountImage(mount.c_str(), wimFile.c_str(), 1, temporary.c_str())) {
    m_Error.SetError(wim.GetLastErrorCode());
    log.AddError(ORV_T("WIMMountImage failed"));
    os::RemoveDirectory(mount);
    return log.ExitFunction(FALSE);
  }
  mountFolder = mount + ORV_T("\\");
  log.AddInfo(ORV_T("Mounted Folder: %s"), mountFolder);
  m_Error.SetError(0);
  return log.ExitFunction(TRUE);
}

BOOL COrvImage::UnmountImageWIM(const WString& mountFolder, const WString& wimFile) {
  COrvLog& log = COrvLog::GetInstance();
  log.EnterFunction(ORV_T("BOOL COrvImage::UnmountImageWIM(LPCTSTR pstrImgDrive=%s, LPCTSTR pstrFile=%s)"),
                    mountFolder, wimFile);
  // The placeholder leaves the image before the commit.
  os::DeleteEntryAt(WithSeparator(mountFolder) + ORV_T("QUEN.DAV"));
  WString path = mountFolder;
  if (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  COrvWim wim;
  log.AddInfo(ORV_T("Unmounts %s from %s"), path, wimFile);
  if (!wim.WIMUnmountImage(path.c_str(), wimFile.c_str(), 1, TRUE)) {
    m_Error.SetError(wim.GetLastErrorCode());
    log.AddError(ORV_T("Cannot Unmount %s from %s"), path, wimFile);
    return log.ExitFunction(FALSE);
  }
  os::RemoveDirectory(path);
  m_Error.SetError(0);
  return log.ExitFunction(TRUE);
}

BOOL COrvImage::IsWimFilterInstalled() {
  COrvLog& log = COrvLog::GetInstance();
  switch (os::FindSystemService(ORV_T("WimFltr"))) {
    case os::ServiceLookup::kInstalled:
      return TRUE;
    case os::ServiceLookup::kNoServiceManager:
      log.AddError(ORV_T("Cannot open Service Manager"));
      return FALSE;
    case os::ServiceLookup::kNotInstalled:
      break;
  }
  log.AddError(ORV_T("Cannot open WimFltr service"));
  return FALSE;
}

}  // namespace orv
