// Virtual disks of the capture: a new NTFS disk to copy files into, a sector image
// mounted read-only for its listing, and the unmount. The virtual-disk library and its
// command-line tool are taken from the library's own folder only: one planted in the
// current directory would run with the backup rights of the caller.
#include <string>

#include "image/image.h"
#include "platform/encoding.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/volume.h"
#include "services/log.h"
#include "services/system.h"
#include "services/virtual_disk.h"

namespace orv {

namespace {

constexpr size_t kDriveCharacters = 10;

// What the caller's out buffer holds, read no further than its 10 characters.
WString BufferText(const Char* buffer) {
  WString text;
  for (size_t i = 0; buffer != nullptr && i < kDriveCharacters && buffer[i] != 0; ++i)
    text += buffer[i];
  return text;
}

bool DriveRootExists(const WString& drive) {
  return !drive.empty() && os::DriveLetterInUse(drive[0]);
}

// The library's "Mount"; true when the drive root exists afterwards.
bool MountThroughLibrary(const WString& image, const WString& drive) {
  COrvLog& log = COrvLog::GetInstance();
  VirtualDiskLibrary library;
  std::string narrowImage, narrowDrive;
  if (library.Load() != 0 || os::ToSystemCodePage(image, narrowImage) != 0 ||
      os::ToSystemCodePage(drive, narrowDrive) != 0)
    return false;
  log.AddInfo(ORV_T("Try to mount %s at %s (lamina.dll)"), image, drive);
  if (library.Mount(narrowDrive, narrowImage, 1) != 0) {
    log.AddError(ORV_T("Mount failed (lamina.dll)"));
    return false;
  }
  const bool mounted = DriveRootExists(drive);
  log.AddInfo(ORV_T("Mount result (lamina.dll): %d"), mounted ? 1 : 0);
  return mounted;
}

}  // namespace

Char COrvImage::FindFreeDriveLetter() { return orv::FindFreeDriveLetter(); }

BOOL COrvImage::MountImageINP(LPCTSTR image, DWORD sizeMB, DWORD splitSizeMB, LPTSTR drive) {
  COrvLog& log = COrvLog::GetInstance();
  log.EnterFunction(ORV_T("BOOL COrvImage::MountImageINP(LPCTSTR pstrImgFile=%s, DWORD dwSizeMB=%d, DWORD dwSplitSizeMB=%d, LPTSTR pstrImgDrive=%s)"),
                    WString(image ? image : ORV_T("")), sizeMB, splitSizeMB, BufferText(drive));
  if (drive == nullptr) {
    m_Error.SetError(ORV_ERROR_ARGUMENT);
    return log.ExitFunction(FALSE);
  }
  const Char letter = FindFreeDriveLetter();
  const WString driveName{letter, ':'};
  for (size_t i = 0; i <= driveName.size() && i < kDriveCharacters; ++i)
    drive[i] = i < driveName.size() ? driveName[i] : 0;
  if (letter == '.') {
    m_Error.SetError(ORV_ERROR_NO_DRIVE_LETTER);
    return log.ExitFunction(FALSE);
  }
  if (image == nullptr) {
    m_Error.SetError(ORV_ERROR_ARGUMENT);
    return log.ExitFunction(FALSE);
  }
  VirtualDiskLibrary library;
  std::string narrowImage, narrowDrive;
  DWORD error = library.Load();
  if (error == 0) error = os::ToSystemCodePage(image, narrowImage);
  if (error == 0) error = os::ToSystemCodePage(driveName, narrowDrive);
  if (error != 0) {
    m_Error.SetError(error);
    return log.ExitFunction(FALSE);
  }
  log.AddInfo(ORV_T("pfnCreate(pDrive=%s,pImg=%s,dwSizeMB=%d,dwSplitSizeMB=%d"), driveName,
              WString(image), sizeMB, splitSizeMB);
  const int created = library.CreateAndMount(narrowDrive, narrowImage, sizeMB, splitSizeMB);
  if (created != 0) {
    log.AddError(ORV_T("Create and Mount failed - %d"), created);
    m_Error.SetError(static_cast<DWORD>(created));
    return log.ExitFunction(FALSE);
  }
  log.AddInfo(ORV_T("Create and Mount succeeded."));
  // Its exit code is not examined: a failed format shows when files are written.
  const WString format = os::VirtualDiskFormatCommand(driveName);
  if (!format.empty()) COrvSystem::Execute(COrvString(format), 0, 1);
  drive[2] = '\\';
  drive[3] = 0;
  return log.ExitFunction(TRUE);
}

BOOL COrvImage::MountSectorImage(const WString& image, const WString& drive) {
  COrvLog& log = COrvLog::GetInstance();
  if (MountThroughLibrary(image, drive)) return TRUE;
  WString folder;
  if (os::GetLibraryFolder(folder) != 0) return FALSE;
  log.AddInfo(ORV_T("Try to mount %s at %s (lamina.exe)"), image, drive);
  const WString command =
      folder + ORV_T("\\lamina.exe /mount \"") + image + ORV_T("\" /ro ") + drive;
  log.AddInfo(ORV_T("Cmd: %s"), command);
  COrvSystem::Execute(COrvString(command), 0, 1);
  const bool mounted = DriveRootExists(drive);
  log.AddInfo(ORV_T("Mount result (lamina.exe): %d"), mounted ? 1 : 0);
  return mounted ? TRUE : FALSE;
}

BOOL COrvImage::UnmountSectorImage(Char letter) {
  const WString drive{letter, ':'};
  VirtualDiskLibrary library;
  std::string narrowDrive;
  if (library.Load() == 0 && os::ToSystemCodePage(drive, narrowDrive) == 0)
    library.UnMount(narrowDrive);
  return TRUE;
}

}  // namespace orv
