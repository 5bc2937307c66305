// WIM files of an image folder: applied onto a target (restore, extraction) or walked
// without writing (listing), with their other parts added as references. The engine's
// messages come without context: the handlers reach the object as the current image.
#include <cstring>

#include "image/current_image.h"
#include "image/image.h"
#include "image/image_privileges.h"
#include "platform/case_fold.h"
#include "platform/dir_search.h"
#include "platform/file.h"
#include "services/log.h"
#include "wim/engine.h"
#include "wim/wim.h"

namespace orv {

namespace {

constexpr DWORD kApplyFlags = wim::kFlagFileInfo;
constexpr DWORD kListFlags = wim::kFlagFileInfo | wim::kFlagNoApply;

// The *.WIM files of a folder, in the order the file system gives them.
std::vector<os::FindData> WimFilesOf(const WString& folder) {
  std::vector<os::FindData> files;
  os::DirSearch search;
  os::FindData found;
  for (DWORD error = search.First(folder + ORV_T("\\*.WIM"), found); error == 0;
       error = search.Next(found))
    if (!(found.attributes & os::kAttrDirectory)) files.push_back(found);
  return files;
}

uint64_t SizeOf(const wim::WimFindData& data) {
  return (uint64_t{data.sizeHigh} << 32) | data.sizeLow;
}

}  // namespace

BOOL COrvImage::ApplyWIM(const WString& wimPath, const WString& target) {
  return RunWimImage(wimPath, target, false);
}

BOOL COrvImage::ListWIM(const WString& wimPath) {
  listedFile_ = wimPath;
  COrvLog::GetInstance().AddInfo(ORV_T("List content of %s"), wimPath);
  // Nothing is written: the listing runs as an apply onto the current folder.
  WString current;
  os::GetCurrentDirectory(current);
  listRoot_ = current.size() >= 3 && current[1] == ':' ? current.substr(0, 3) : current;
  return RunWimImage(wimPath, listRoot_, true);
}

BOOL COrvImage::RunWimImage(const WString& wimPath, const WString& target, bool listOnly) {
  COrvLog& log = COrvLog::GetInstance();
  if (!listOnly) log.AddInfo(ORV_T("Extract %s to %s"), wimPath, target);
  WString temporary;
  os::GetCurrentDirectory(temporary);
  const size_t slash = wimPath.find_last_of(ORV_T("\\/"));
  const WString folder = slash == WString::npos ? WString(ORV_T(".")) : wimPath.substr(0, slash);
  const WString fileName = slash == WString::npos ? wimPath : wimPath.substr(slash + 1);

  ImagePrivileges privileges(kRestorePrivilegeCount);
  COrvWim wim;
  HANDLE handle = wim.WIMCreateFile(wimPath.c_str(), wim::kGenericRead, wim::kOpenExisting, 0,
                                    wim::kCompressNone, nullptr);
  if (handle == nullptr) {
    capture_.lastError = wim.GetLastErrorCode();
    m_Error.SetError(capture_.lastError);
    log.AddError(ORV_T("Cannot open WIM File: %s"), wimPath);
    return FALSE;
  }
  if (!listOnly) os::CreateDirectoryTree(target);
  if (capture_.ownStopEvent.Create(ORV_T("ImageStop"), false, false) == 0)
    capture_.ownStopEvent.Reset();
  capture_.stopEvent = capture_.ownStopEvent.NativeHandle();

  wim::WimInfo info{};
  bool spanned = false;
  if (wim.WIMGetAttributes(handle, &info, sizeof info)) {
    log.AddInfo(ORV_T("WIMGetAttributes TotalParts returns %u"), DWORD{info.totalParts});
    spanned = info.totalParts != 1;
  } else {
    log.AddError(ORV_T("WIMGetAttributes failed"));
    capture_.lastError = wim.GetLastErrorCode();
  }
  wim.WIMSetTemporaryPath(handle, temporary.c_str());
  if (capture_.callback != nullptr)
    wim.WIMRegisterMessageCallback(handle, listOnly ? ListMessage : ApplyMessage, nullptr);
  if (spanned && !AddWIMReferences(fileName, folder, handle))
    log.AddInfo(ORV_T("Cannot add reference to first WIM"));

  capture_.lastError = 0;
  log.AddInfo(ORV_T("Load Image"));
  HANDLE image = wim.WIMLoadImage(handle, 1);
  if (image == nullptr) {
    // The engine's reason is kept: a failure is never reported as error 0.
    capture_.lastError = wim.GetLastErrorCode();
    m_Error.SetError(capture_.lastError);
    wim.WIMCloseHandle(handle);
    return FALSE;
  }
  const BOOL applied = wim.WIMApplyImage(image, target.c_str(), listOnly ? kListFlags : kApplyFlags);
  const DWORD applyError = applied ? 0 : wim.GetLastErrorCode();
  wim.WIMCloseHandle(image);
  wim.WIMCloseHandle(handle);
  if (capture_.stopEvent != nullptr) os::SetEventHandle(capture_.stopEvent);
  // A cancel the handlers recorded stays; otherwise the apply's own failure counts.
  if (capture_.lastError != ORV_ERROR_CANCELLED) capture_.lastError = applyError;
  m_Error.SetError(capture_.lastError);
  log.AddInfo(ORV_T("Amount of Bytes wwritten: %I64u"), capture_.bytesDone);
  return capture_.lastError == 0 ? TRUE : FALSE;
}

DWORD COrvImage::OnProcessMessage(const Char* path, BOOL* include) {
  if (path != nullptr && include != nullptr) {
    *include = AskRestore(path) ? TRUE : FALSE;
  }
  os::SetCurrentDirectory(capture_.savedCurrentDir);
  return wim::kMsgSuccess;
}

DWORD ORV_CALLBACK COrvImage::ApplyMessage(DWORD message, ORVVALUE first, ORVVALUE second, void*) {
  COrvImage* image = CurrentImage();
  if (image == nullptr) return wim::kMsgSuccess;
  CaptureState& state = image->capture_;
  switch (message) {
    case wim::kMsgProgress:
      if (!state.percentageStyle || state.callback == nullptr) return wim::kMsgSuccess;
      if (!image->Send(104, first, 0, state.context)) {
        state.lastError = ORV_ERROR_CANCELLED;
        return wim::kMsgAbortImage;
      }
      return wim::kMsgSuccess;
    case wim::kMsgProcess:
      return image->OnProcessMessage(reinterpret_cast<const Char*>(first),
                                     reinterpret_cast<BOOL*>(second));
    case wim::kMsgError:
      if (state.callback == nullptr) return wim::kMsgSuccess;
      if (image->Send(405, 0, second, first)) return wim::kMsgSkipError;
      state.lastError = ORV_ERROR_CANCELLED;
      return wim::kMsgAbortImage;
    case wim::kMsgFileInfo: {
      const auto* data = reinterpret_cast<const wim::WimFindData*>(second);
      if (data == nullptr) return wim::kMsgSuccess;
      if ((data->attributes & os::kAttrReparsePoint) && first != 0)
        COrvLog::GetInstance().AddInfo(ORV_T("%s is a reparse point"),
                                       WString(reinterpret_cast<const Char*>(first)));
      if (data->attributes & os::kAttrDirectory) return wim::kMsgSuccess;
      state.bytesDone += SizeOf(*data);
      image->SendBytesProgress(!state.percentageStyle);
      return wim::kMsgSuccess;
    }
    default:
      return wim::kMsgSuccess;
  }
}

DWORD ORV_CALLBACK COrvImage::ListMessage(DWORD message, ORVVALUE first, ORVVALUE second, void*) {
  COrvImage* image = CurrentImage();
  if (image == nullptr) return wim::kMsgSuccess;
  CaptureState& state = image->capture_;
  switch (message) {
    case wim::kMsgProcess:
      return image->OnProcessMessage(reinterpret_cast<const Char*>(first),
                                     reinterpret_cast<BOOL*>(second));
    case wim::kMsgError:
      return wim::kMsgSkipError;
    case wim::kMsgFileInfo: {
      const auto* data = reinterpret_cast<const wim::WimFindData*>(second);
      const auto* path = reinterpret_cast<const Char*>(first);
      if (data == nullptr || path == nullptr || (data->attributes & os::kAttrDirectory))
        return wim::kMsgSuccess;
      // The record gets a path of its own: the engine's buffer is never written.
      const WString listed = image->ListedPath(path);
      ORVLISTRECORD record{};
      record.pstrContainer = image->listedFile_.c_str();
      record.pstrPath = listed.c_str();
      static_assert(sizeof record.data <= sizeof *data, "the find data starts with the record");
      std::memcpy(&record.data, data, sizeof record.data);
      image->Send(411, 0, 0, reinterpret_cast<ORVVALUE>(&record));
      state.bytesDone += SizeOf(*data);
      image->SendBytesProgress(!state.percentageStyle);
      return wim::kMsgSuccess;
    }
    default:
      return wim::kMsgSuccess;
  }
}

WString COrvImage::ListedPath(WStringView reported) const {
  WStringView relative = reported;
  if (relative.size() >= listRoot_.size() &&
      os::CompareNoCase(relative.substr(0, listRoot_.size()), listRoot_) == 0)
    relative.remove_prefix(listRoot_.size());
  while (!relative.empty() && (relative.front() == '\\' || relative.front() == '/'))
    relative.remove_prefix(1);
  const WString drive = listRoot_.size() >= 2 && listRoot_[1] == ':' ? listRoot_.substr(0, 1) : WString();
  return drive + ORV_T(":\\") + WString(relative);
}

bool COrvImage::FindFirstWIM(const WString& folder, WString& path) {
  COrvLog& log = COrvLog::GetInstance();
  path.clear();
  for (const os::FindData& file : WimFilesOf(folder)) {
    const WString candidate = folder + ORV_T("\\") + file.name;
    if (path.empty()) path = candidate;
    if (GetWIMPartNumber(candidate) == 1) {
      log.AddInfo(ORV_T("Found first span: %s"), candidate);
      path = candidate;
      return true;
    }
  }
  if (path.empty()) return false;
  log.AddInfo(ORV_T("%s is first WIM file found"), path);
  return true;
}

WORD COrvImage::GetWIMPartNumber(const WString& wimPath) {
  COrvLog& log = COrvLog::GetInstance();
  COrvWim wim;
  HANDLE handle = wim.WIMCreateFile(wimPath.c_str(), wim::kGenericRead, wim::kOpenExisting, 0, 0,
                                    nullptr);
  if (handle == nullptr) {
    capture_.lastError = wim.GetLastErrorCode();
    log.AddError(ORV_T("WIMCreateFile failed: %u - %8.8X"), capture_.lastError, capture_.lastError);
    return 0;
  }
  wim::WimInfo info{};
  WORD part = 0;
  if (wim.WIMGetAttributes(handle, &info, sizeof info)) {
    part = info.partNumber;
  } else {
    const DWORD error = wim.GetLastErrorCode();
    log.AddError(ORV_T("WIMGetAttributes failed: %u - %8.8X"), error, error);
  }
  wim.WIMCloseHandle(handle);
  return part;
}

BOOL COrvImage::AddWIMReferences(const WString& chosenName, const WString& folder, HANDLE wimHandle) {
  COrvLog& log = COrvLog::GetInstance();
  COrvWim binding;
  for (const os::FindData& file : WimFilesOf(folder)) {
    if (os::CompareNoCase(file.name, chosenName) == 0) continue;
    const WString path = folder + ORV_T("\\") + file.name;
    COrvWim probe;
    HANDLE opened = probe.WIMCreateFile(path.c_str(), wim::kGenericRead, wim::kOpenExisting, 0, 0,
                                        nullptr);
    if (opened == nullptr) continue;
    probe.WIMCloseHandle(opened);
    if (!binding.WIMSetReferenceFile(wimHandle, path.c_str(), wim::kReferenceAppend)) {
      const DWORD error = binding.GetLastErrorCode();
      capture_.lastError = error;
      m_Error.SetError(error);
      log.AddError(ORV_T("WIMSetFileReference failed: %u - %8.8X"), error, error);
      return FALSE;
    }
    log.AddInfo(ORV_T("Append %s to %s"), file.name, chosenName);
  }
  return TRUE;
}

}  // namespace orv
