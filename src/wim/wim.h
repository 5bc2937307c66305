// COrvWim: the Windows imaging engine bound at run time, and the password block of WIM
// headers.
#pragma once

#include "frame/implementation.h"

namespace orv {

// Not built yet: every operation fails with ORV_ERROR_NOT_SUPPORTED and a zero result.
class COrvWim : public COrvImplementation<IOrvWim> {
 public:
  HANDLE WIMCreateFile(LPCTSTR, DWORD, DWORD, DWORD, DWORD, DWORD*) override {
    return NotBuilt<HANDLE>();
  }
  BOOL WIMCopyFile(LPCTSTR, LPCTSTR, void*, void*, BOOL*, DWORD) override { return NotBuilt(); }
  DWORD WIMGetImageCount(HANDLE) override { return NotBuilt<DWORD>(); }
  BOOL WIMGetAttributes(HANDLE, void*, DWORD) override { return NotBuilt(); }
  BOOL WIMCloseHandle(HANDLE) override { return NotBuilt(); }
  BOOL WIMApplyImage(HANDLE, LPCTSTR, DWORD) override { return NotBuilt(); }
  HANDLE WIMLoadImage(HANDLE, DWORD) override { return NotBuilt<HANDLE>(); }
  BOOL WIMExportImage(HANDLE, HANDLE, DWORD) override { return NotBuilt(); }
  BOOL WIMMountImage(LPCTSTR, LPCTSTR, DWORD, LPCTSTR) override { return NotBuilt(); }
  BOOL WIMUnmountImage(LPCTSTR, LPCTSTR, DWORD, BOOL) override { return NotBuilt(); }
  HANDLE WIMCaptureImage(HANDLE, LPCTSTR, DWORD) override { return NotBuilt<HANDLE>(); }
  BOOL WIMSplitFile(HANDLE, LPCTSTR, LONGLONG*, DWORD) override { return NotBuilt(); }
  BOOL WIMSetTemporaryPath(HANDLE, LPCTSTR) override { return NotBuilt(); }
  DWORD WIMRegisterMessageCallback(HANDLE, WIMMESSAGEROUTINE, void*) override {
    return NotBuilt<DWORD>();
  }
  BOOL WIMUnregisterMessageCallback(HANDLE, WIMMESSAGEROUTINE) override { return NotBuilt(); }
  BOOL WIMGetImageInformation(HANDLE, void**, DWORD*) override { return NotBuilt(); }
  BOOL WIMSetImageInformation(HANDLE, void*, DWORD) override { return NotBuilt(); }
  BOOL GetMountResult() override { return NotBuilt(); }
  BOOL IsFirstPart(LPCTSTR) override { return NotBuilt(); }
  WORD GetPartNumber(LPCTSTR) override { return NotBuilt<WORD>(); }
  BOOL WIMSetBootImage(HANDLE, DWORD) override { return NotBuilt(); }
  BOOL WIMSetReferenceFile(HANDLE, LPCTSTR, DWORD) override { return NotBuilt(); }
  BOOL SetPassword(LPCTSTR, LPCTSTR) override { return NotBuilt(); }
  BOOL GetPassword(LPCTSTR, LPTSTR) override { return NotBuilt(); }
};

}  // namespace orv
