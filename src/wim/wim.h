// COrvWim: the imaging engine bound at run time, one operation per WIM function, and
// the password block of WIM headers.
//
// The engine's functions are all found when the object is constructed; where they are
// missing the object still exists and every operation fails with ORV_ERROR_ARG1
// (0x10000002). A null WIM handle stands for the handle this object opened last.
#pragma once

#include "frame/implementation.h"
#include "platform/process.h"
#include "wim/engine.h"

namespace orv {

class COrvWim final : public COrvImplementation<IOrvWim, COrvWim> {
 public:
  COrvWim();
  // Bound to the given functions instead of the system's engine (tests).
  explicit COrvWim(const wim::Functions& engine);
  ~COrvWim();
  COrvWim(const COrvWim&) = delete;
  COrvWim& operator=(const COrvWim&) = delete;

  HANDLE WIMCreateFile(LPCTSTR pszWimPath, DWORD dwDesiredAccess, DWORD dwCreationDisposition,
                       DWORD dwFlagsAndAttributes, DWORD dwCompressionType,
                       DWORD* pdwCreationResult) override;
  BOOL WIMCopyFile(LPCTSTR pszExistingFileName, LPCTSTR pszNewFileName, void* pProgressRoutine,
                   void* pvData, BOOL* pbCancel, DWORD dwCopyFlags) override;
  DWORD WIMGetImageCount(HANDLE hWim) override;
  BOOL WIMGetAttributes(HANDLE hWim, void* pWimInfo, DWORD cbWimInfo) override;
  BOOL WIMCloseHandle(HANDLE hObject) override;
  BOOL WIMApplyImage(HANDLE hImage, LPCTSTR pszPath, DWORD dwApplyFlags) override;
  HANDLE WIMLoadImage(HANDLE hWim, DWORD dwImageIndex) override;
  BOOL WIMExportImage(HANDLE hImage, HANDLE hWim, DWORD dwFlags) override;
  BOOL WIMMountImage(LPCTSTR pszMountPath, LPCTSTR pszWimFileName, DWORD dwImageIndex,
                     LPCTSTR pszTempPath) override;
  BOOL WIMUnmountImage(LPCTSTR pszMountPath, LPCTSTR pszWimFileName, DWORD dwImageIndex,
                       BOOL bCommitChanges) override;
  HANDLE WIMCaptureImage(HANDLE hWim, LPCTSTR pszPath, DWORD dwCaptureFlags) override;
  BOOL WIMSplitFile(HANDLE hWim, LPCTSTR pszPartPath, LONGLONG* pliPartSize,
                    DWORD dwFlags) override;
  BOOL WIMSetTemporaryPath(HANDLE hWim, LPCTSTR pszPath) override;
  DWORD WIMRegisterMessageCallback(HANDLE hWim, WIMMESSAGEROUTINE fpMessageProc,
                                   void* pvUserData) override;
  BOOL WIMUnregisterMessageCallback(HANDLE hWim, WIMMESSAGEROUTINE fpMessageProc) override;
  BOOL WIMGetImageInformation(HANDLE hImage, void** ppvImageInfo, DWORD* pcbImageInfo) override;
  BOOL WIMSetImageInformation(HANDLE hImage, void* pvImageInfo, DWORD cbImageInfo) override;
  BOOL GetMountResult() override { return mountResult_; }
  BOOL IsFirstPart(LPCTSTR pstrWIMFile) override;
  WORD GetPartNumber(LPCTSTR pstrWIMFile) override;
  BOOL WIMSetBootImage(HANDLE hWim, DWORD dwImageIndex) override;
  BOOL WIMSetReferenceFile(HANDLE hWim, LPCTSTR pszPath, DWORD dwFlags) override;
  BOOL SetPassword(LPCTSTR pstrWIMFile, LPCTSTR pstrPassword) override;
  BOOL GetPassword(LPCTSTR pstrWIMFile, LPTSTR pstrPassword) override;

 private:
  // The common frame: refuses when the engine is missing (0x10000002) and, where
  // `handle` is given, replaces a null handle by the current one or refuses when there
  // is none (0x10000003). On refusal the error is set and false returned.
  bool CanCall();
  bool CanCall(HANDLE& handle);
  // Takes the engine's error of the call that just returned.
  template <class Result>
  Result Took(Result result);

  BOOL loaded_ = FALSE;
  os::Module module_;
  wim::Functions functions_{};
  HANDLE currentWim_ = nullptr;
  BOOL temporaryPathSet_ = FALSE;
  BOOL mountResult_ = FALSE;
  BOOL applyResult_ = FALSE;
  HANDLE captureResult_ = nullptr;
  WString mountPath_;
  WString wimPath_;
  DWORD imageIndex_ = 1;
};

}  // namespace orv
