// Every exported operation runs guarded: an exception, from the engine binding or an
// allocation, becomes an error code instead of leaving the library.
#include "wim/wim.h"

#include <cstring>

#include "platform/errors.h"
#include "platform/last_error.h"
#include "services/log.h"
#include "wim/header_password.h"

namespace orv {

namespace {

constexpr size_t kMaxPath = 260;

WString CopyPath(LPCTSTR path) {
  if (path == nullptr) return WString();
  WStringView text(path);
  return WString(text.substr(0, kMaxPath));
}

}  // namespace

COrvWim::COrvWim() {
  COrvLog& log = COrvLog::GetInstance();
  loaded_ = TRUE;
  switch (wim::LoadEngine(module_, functions_)) {
    case wim::LoadResult::kLoaded:
      break;
    case wim::LoadResult::kLibraryMissing:
      log.AddInfo(ORV_T("Cannot load library %s."), wim::EngineLibraryName());
      loaded_ = FALSE;
      break;
    case wim::LoadResult::kFunctionMissing:
      log.AddInfo(ORV_T("GetProcAddress failed"));
      loaded_ = FALSE;
      break;
  }
}

COrvWim::COrvWim(const wim::Functions& engine) : loaded_(TRUE), functions_(engine) {}

COrvWim::~COrvWim() {
  if (loaded_ && currentWim_ != nullptr) WIMCloseHandle(currentWim_);
}

bool COrvWim::CanCall() {
  if (loaded_) return true;
  m_Error.SetError(ORV_ERROR_ARG1);
  return false;
}

bool COrvWim::CanCall(HANDLE& handle) {
  if (!CanCall()) return false;
  if (handle == nullptr) handle = currentWim_;
  if (handle != nullptr) return true;
  m_Error.SetError(ORV_ERROR_ARG2);
  return false;
}

template <class Result>
Result COrvWim::Took(Result result) {
  m_Error.SetError(os::GetThreadLastError());
  return result;
}

HANDLE COrvWim::WIMCreateFile(LPCTSTR pszWimPath, DWORD dwDesiredAccess,
                              DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                              DWORD dwCompressionType, DWORD* pdwCreationResult) {
  return GuardedOr<HANDLE>(nullptr, [&]() -> HANDLE {
    if (!CanCall()) return nullptr;
    HANDLE wim =
        Took(functions_.CreateFile(pszWimPath, dwDesiredAccess, dwCreationDisposition,
                                   dwFlagsAndAttributes, dwCompressionType, pdwCreationResult));
    if (wim != nullptr) {
      currentWim_ = wim;
      wimPath_ = CopyPath(pszWimPath);
    }
    return wim;
  });
}

BOOL COrvWim::WIMCopyFile(LPCTSTR pszExistingFileName, LPCTSTR pszNewFileName,
                          void* pProgressRoutine, void* pvData, BOOL* pbCancel, DWORD dwCopyFlags) {
  return GuardedOr<BOOL>(FALSE, [&]() -> BOOL {
    if (!CanCall()) return FALSE;
    return Took(functions_.CopyFile(pszExistingFileName, pszNewFileName, pProgressRoutine, pvData,
                                    pbCancel, dwCopyFlags));
  });
}

DWORD COrvWim::WIMGetImageCount(HANDLE hWim) {
  return GuardedOr<DWORD>(0xFFFFFFFF, [&]() -> DWORD {
    // The error is left as the frame set it: the count is the whole answer.
    if (!CanCall(hWim)) return 0xFFFFFFFF;
    return functions_.GetImageCount(hWim);
  });
}

BOOL COrvWim::WIMGetAttributes(HANDLE hWim, void* pWimInfo, DWORD cbWimInfo) {
  return GuardedOr<BOOL>(FALSE, [&]() -> BOOL {
    if (!CanCall(hWim)) return FALSE;
    return Took(functions_.GetAttributes(hWim, pWimInfo, cbWimInfo));
  });
}

BOOL COrvWim::WIMCloseHandle(HANDLE hObject) {
  return GuardedOr<BOOL>(FALSE, [&]() -> BOOL {
    if (!CanCall(hObject)) return FALSE;
    const BOOL closed = Took(functions_.CloseHandle(hObject));
    if (hObject == currentWim_) currentWim_ = nullptr;
    return closed;
  });
}

BOOL COrvWim::WIMApplyImage(HANDLE hImage, LPCTSTR pszPath, DWORD dwApplyFlags) {
  return GuardedOr<BOOL>(FALSE, [&]() -> BOOL {
    if (!CanCall()) return FALSE;
    if (hImage == nullptr) {
      m_Error.SetError(ORV_ERROR_ARG2);
      return FALSE;
    }
    applyResult_ = Took(functions_.ApplyImage(hImage, pszPath, dwApplyFlags));
    return applyResult_;
  });
}

HANDLE COrvWim::WIMLoadImage(HANDLE hWim, DWORD dwImageIndex) {
  return GuardedOr<HANDLE>(nullptr, [&]() -> HANDLE {
    if (!CanCall(hWim)) return nullptr;
    if (!temporaryPathSet_) {
      WString folder;
      os::GetCurrentDirectory(folder);
      WIMSetTemporaryPath(hWim, folder.c_str());
    }
    return Took(functions_.LoadImage(hWim, dwImageIndex));
  });
}

BOOL COrvWim::WIMExportImage(HANDLE hImage, HANDLE hWim, DWORD dwFlags) {
  return GuardedOr<BOOL>(FALSE, [&]() -> BOOL {
    if (!CanCall()) return FALSE;
    if (hImage != nullptr) return Took(functions_.ExportImage(hImage, hWim, dwFlags));
    // No image given: image 1 of the current WIM, loaded for the export only.
    HANDLE image = WIMLoadImage(nullptr, 1);
    if (image == nullptr) return FALSE;
    const BOOL exported = Took(functions_.ExportImage(image, hWim, dwFlags));
    const DWORD error = m_Error.GetError();
    functions_.CloseHandle(image);
    m_Error.SetError(error);
    return exported;
  });
}

BOOL COrvWim::WIMMountImage(LPCTSTR pszMountPath, LPCTSTR pszWimFileName, DWORD dwImageIndex,
                            LPCTSTR pszTempPath) {
  return GuardedOr<BOOL>(FALSE, [&]() -> BOOL {
    if (!CanCall()) return FALSE;
    mountResult_ =
        Took(functions_.MountImage(pszMountPath, pszWimFileName, dwImageIndex, pszTempPath));
    mountPath_ = CopyPath(pszMountPath);
    wimPath_ = CopyPath(pszWimFileName);
    imageIndex_ = dwImageIndex;
    return mountResult_;
  });
}

BOOL COrvWim::WIMUnmountImage(LPCTSTR pszMountPath, LPCTSTR pszWimFileName, DWORD dwImageIndex,
                              BOOL bCommitChanges) {
  return GuardedOr<BOOL>(FALSE, [&]() -> BOOL {
    if (!CanCall()) return FALSE;
    return Took(functions_.UnmountImage(pszMountPath, pszWimFileName, dwImageIndex, bCommitChanges));
  });
}

HANDLE COrvWim::WIMCaptureImage(HANDLE hWim, LPCTSTR pszPath, DWORD dwCaptureFlags) {
  return GuardedOr<HANDLE>(nullptr, [&]() -> HANDLE {
    if (!CanCall(hWim)) return nullptr;
    captureResult_ = Took(functions_.CaptureImage(hWim, pszPath, dwCaptureFlags));
    return captureResult_;
  });
}

BOOL COrvWim::WIMSplitFile(HANDLE hWim, LPCTSTR pszPartPath, LONGLONG* pliPartSize, DWORD dwFlags) {
  return GuardedOr<BOOL>(FALSE, [&]() -> BOOL {
    if (!CanCall(hWim)) return FALSE;
    return Took(functions_.SplitFile(hWim, pszPartPath, pliPartSize, dwFlags));
  });
}

BOOL COrvWim::WIMSetTemporaryPath(HANDLE hWim, LPCTSTR pszPath) {
  return GuardedOr<BOOL>(FALSE, [&]() -> BOOL {
    if (!CanCall(hWim)) return FALSE;
    temporaryPathSet_ = Took(functions_.SetTemporaryPath(hWim, pszPath));
    return temporaryPathSet_;
  });
}

DWORD COrvWim::WIMRegisterMessageCallback(HANDLE hWim, WIMMESSAGEROUTINE fpMessageProc,
                                          void* pvUserData) {
  return GuardedOr<DWORD>(wim::kInvalidCallback, [&]() -> DWORD {
    if (!CanCall(hWim)) return wim::kInvalidCallback;
    return Took(functions_.RegisterMessageCallback(hWim, fpMessageProc, pvUserData));
  });
}

BOOL COrvWim::WIMUnregisterMessageCallback(HANDLE hWim, WIMMESSAGEROUTINE fpMessageProc) {
  return GuardedOr<BOOL>(FALSE, [&]() -> BOOL {
    if (!CanCall(hWim)) return FALSE;
    return Took(functions_.UnregisterMessageCallback(hWim, fpMessageProc));
  });
}

BOOL COrvWim::WIMGetImageInformation(HANDLE hImage, void** ppvImageInfo, DWORD* pcbImageInfo) {
  return GuardedOr<BOOL>(FALSE, [&]() -> BOOL {
    if (!CanCall(hImage)) return FALSE;
    return Took(functions_.GetImageInformation(hImage, ppvImageInfo, pcbImageInfo));
  });
}

BOOL COrvWim::WIMSetImageInformation(HANDLE hImage, void* pvImageInfo, DWORD cbImageInfo) {
  return GuardedOr<BOOL>(FALSE, [&]() -> BOOL {
    if (!CanCall(hImage)) return FALSE;
    return Took(functions_.SetImageInformation(hImage, pvImageInfo, cbImageInfo));
  });
}

BOOL COrvWim::IsFirstPart(LPCTSTR pstrWIMFile) { return GetPartNumber(pstrWIMFile) == 1; }

WORD COrvWim::GetPartNumber(LPCTSTR pstrWIMFile) {
  return GuardedOr<WORD>(0, [&]() -> WORD {
    // Reaches the engine directly: the current WIM handle stays as it is.
    const WString path = CopyPath(pstrWIMFile);
    HANDLE wim = nullptr;
    if (loaded_ && pstrWIMFile != nullptr)
      wim = functions_.CreateFile(path.c_str(), wim::kGenericRead, wim::kOpenExisting, 0,
                                  wim::kCompressNone, nullptr);
    if (wim == nullptr) {
      m_Error.SetError(loaded_ ? err::kInvalidHandle : ORV_ERROR_ARG1);
      os::SetThreadLastError(err::kInvalidHandle);
      return 0;
    }
    wim::WimInfo info{};
    const BOOL read = functions_.GetAttributes(wim, &info, sizeof info);
    functions_.CloseHandle(wim);
    if (!read) {
      m_Error.SetError(err::kAccessDenied);
      os::SetThreadLastError(err::kAccessDenied);
      return 0;
    }
    m_Error.SetError(err::kSuccess);
    return info.partNumber;
  });
}

BOOL COrvWim::WIMSetBootImage(HANDLE hWim, DWORD dwImageIndex) {
  return GuardedOr<BOOL>(FALSE, [&]() -> BOOL {
    if (!CanCall(hWim)) return FALSE;
    return Took(functions_.SetBootImage(hWim, dwImageIndex));
  });
}

BOOL COrvWim::WIMSetReferenceFile(HANDLE hWim, LPCTSTR pszPath, DWORD dwFlags) {
  return GuardedOr<BOOL>(FALSE, [&]() -> BOOL {
    if (!CanCall(hWim)) return FALSE;
    return Took(functions_.SetReferenceFile(hWim, pszPath, dwFlags));
  });
}

BOOL COrvWim::SetPassword(LPCTSTR pstrWIMFile, LPCTSTR pstrPassword) {
  return GuardedOr<BOOL>(FALSE, [&]() -> BOOL {
    COrvLog& log = COrvLog::GetInstance();
    // The password itself never reaches the log.
    log.EnterFunction(
        ORV_T("BOOL COrvWim::SetPassword(LPCTSTR pstrWIMFile=%s,LPCTSTR pstrPassword=%s)"),
        pstrWIMFile, pstrPassword != nullptr ? ORV_T("(hidden)") : nullptr);
    if (pstrWIMFile == nullptr || pstrPassword == nullptr) {
      m_Error.SetError(pstrWIMFile == nullptr ? ORV_ERROR_ARG1 : ORV_ERROR_ARG2);
      return log.ExitFunction(FALSE);
    }
    const DWORD error = WriteHeaderPassword(pstrWIMFile, pstrPassword);
    m_Error.SetError(error);
    return log.ExitFunction(error == err::kSuccess);
  });
}

BOOL COrvWim::GetPassword(LPCTSTR pstrWIMFile, LPTSTR pstrPassword) {
  return GuardedOr<BOOL>(FALSE, [&]() -> BOOL {
    if (pstrWIMFile == nullptr || pstrPassword == nullptr) {
      m_Error.SetError(pstrWIMFile == nullptr ? ORV_ERROR_ARG1 : ORV_ERROR_ARG2);
      return FALSE;
    }
    std::memset(pstrPassword, 0, sizeof(PasswordRecord));
    PasswordRecord record;
    bool present = false;
    if (DWORD error = ReadHeaderPassword(pstrWIMFile, record, present)) {
      m_Error.SetError(error);
      return FALSE;
    }
    if (present) {
      Char password[16];
      if (!UnscramblePassword(record, password)) {
        m_Error.SetError(err::kNotEnoughMemory);
        return FALSE;
      }
      std::memcpy(pstrPassword, password, sizeof password);
    }
    m_Error.SetError(err::kSuccess);
    return TRUE;
  });
}

}  // namespace orv
