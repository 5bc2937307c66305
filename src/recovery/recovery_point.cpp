#include "recovery/recovery_point.h"

#include <optional>

#include "fsutil/delete_tree.h"
#include "image/capture_paths.h"
#include "image/catalogue_desc.h"
#include "image/catalogue_xml.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/system.h"
#include "recovery/folder_overlap.h"
#include "recovery/recovery_run.h"
#include "services/log.h"

namespace orv {

namespace {

// A description the caller passed: absent (taken as empty) or at most 1560 characters.
std::optional<WString> CallerDescription(const Char* text) {
  if (text == nullptr) return WString();
  size_t length = 0;
  while (length <= kMaxRecoveryPointDescription && text[length] != 0) ++length;
  if (length > kMaxRecoveryPointDescription) return std::nullopt;
  return WString(text, length);
}

// Everything that stops a recovery point before its folder is touched: 0 or 87.
DWORD CheckRequest(LPCTSTR database, LPCTSTR last, LPCTSTR folder, LPCTSTR description) {
  COrvLog& log = COrvLog::GetInstance();
  if (!IsCallerPath(database) || !IsCallerPath(last) || !IsCallerPath(folder) ||
      !CallerDescription(description))
    return err::kInvalidParameter;
  // The new folder is emptied first: it must not take the previous point or the change
  // database with it.
  if (FolderHolds(folder, last)) {
    log.AddError(ORV_T("%s holds the previous recovery point %s - refused"), folder, last);
    return err::kInvalidParameter;
  }
  if (FolderHolds(folder, database)) {
    log.AddError(ORV_T("%s holds the change database %s - refused"), folder, database);
    return err::kInvalidParameter;
  }
  return 0;
}

}  // namespace

BOOL COrvRecoveryPoint::Create(LPCTSTR pstrDBFile, LPCTSTR pstrLastRecoveryPointDir,
                               LPCTSTR pstrRecoveryPointDir, LPCTSTR pstrDesc,
                               ORVDCALLBACK pCallback) {
  return Guarded([&] {
    return CreatePoint(pstrDBFile, pstrLastRecoveryPointDir, pstrRecoveryPointDir, pstrDesc,
                       pCallback);
  });
}

BOOL COrvRecoveryPoint::CreatePoint(LPCTSTR pstrDBFile, LPCTSTR pstrLastRecoveryPointDir,
                                    LPCTSTR pstrRecoveryPointDir, LPCTSTR pstrDesc,
                                    ORVDCALLBACK pCallback) {
  COrvLog& log = COrvLog::GetInstance();
  log.EnterFunction(
      ORV_T("BOOL COrvRecoveryPoint::Create(LPCTSTR pstrDBFile=%s,"
            "LPCTSTR pstrLastRecoveryPointDir=%s, LPCTSTR pstrRecoveryPointDir=%s, "
            "LPCTSTR pstrDesc=%s, ORVDCALLBACK pCallback)"),
      pstrDBFile, pstrLastRecoveryPointDir, pstrRecoveryPointDir, pstrDesc);
  DWORD error = CheckRequest(pstrDBFile, pstrLastRecoveryPointDir, pstrRecoveryPointDir, pstrDesc);
  if (error != 0) {
    m_Error.SetError(error);
    return log.ExitFunction(FALSE);
  }
  RecoveryRequest request;
  request.databaseFile = pstrDBFile;
  request.lastPointFolder = pstrLastRecoveryPointDir;
  request.newFolder = pstrRecoveryPointDir;
  request.description = *CallerDescription(pstrDesc);
  request.callback = pCallback;

  // The folder is made new; from here on every failure removes it.
  if ((error = DeleteTree(request.newFolder)) != 0) {
    log.AddError(ORV_T("Cannot remove %s - %u"), request.newFolder, error);
  } else if ((error = os::CreateDirectoryTree(request.newFolder)) != 0) {
    log.AddError(ORV_T("Cannot create %s - %u"), request.newFolder, error);
  }
  WString windows;
  if (error == 0 && (error = os::WindowsFolder(windows)) != 0)
    log.AddError(ORV_T("GetWindowsDirectory failed - %u"), error);
  request.systemDrive = windows.substr(0, 2);

  std::unique_ptr<IOrvFilesMonitoring> monitor;
  if (error == 0 && (error = CreateFilesMonitoring(monitor)) != 0)
    log.AddError(ORV_T("CoCreateInstance(CLSID_OrvFilesMonitoring) failed - %u (%8.8X)"), error,
                 error);

  CatalogueDocument deletions;
  if (error == 0) {
    const WString path = request.newFolder + ORV_T("\\DEL.XML");
    deletions = OpenCatalogueDocument(path, ORV_T("del"));
    if (!deletions.IsOpen()) {
      error = err::kCantAccessFile;
      log.AddError(ORV_T("IOrvXml::Create(%s) failed - %u (%8.8X)"), path, error, error);
    }
  }
  if (error == 0) {
    error = RecoveryRun(request, *monitor, deletions).Run();
  } else {
    DeleteTree(request.newFolder);
  }
  log.AddVariable(ORV_T("m_dwError"), static_cast<uint32_t>(error), 0, 0);
  m_Error.SetError(error);
  return log.ExitFunction(error == 0 ? TRUE : FALSE);
}

}  // namespace orv
