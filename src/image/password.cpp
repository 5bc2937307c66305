// Image passwords: kept scrambled in QUEN.DAV at the root of what a capture takes (so
// that the image holds it), or in the header of a WIM file; read back for the caller,
// who decides what to do with it.
#include <cstring>
#include <memory>

#include "image/catalogue_xml.h"
#include "image/capture_paths.h"
#include "image/image.h"
#include "platform/case_fold.h"
#include "platform/dir_search.h"
#include "platform/file.h"
#include "services/log.h"
#include "wim/crypt.h"
#include "wim/wim.h"

namespace orv {

namespace {

constexpr size_t kStoredCharacters = 16;  // the password record holds 16 UTF-16 units
WString JoinName(WStringView folder, WStringView name) { return WithSeparator(folder) + WString(name); }

// The first image file an image folder lists: in Windows.xml, then in BASE.XML.
WString FirstListedImageFile(const WString& folder) {
  for (const Char* catalogue : {ORV_T("Windows.xml"), ORV_T("Base.xml")}) {
    BaseCatalogue listed;
    if (ReadBaseCatalogue(JoinName(folder, catalogue), listed) == 0 && !listed.files.empty())
      return JoinName(folder, listed.files.front());
  }
  return WString();
}

WString FirstWimFile(const WString& folder) {
  os::DirSearch search;
  os::FindData data;
  if (search.First(JoinName(folder, ORV_T("*.WIM")), data) != 0) return WString();
  return JoinName(folder, data.name);
}

}  // namespace

void COrvImage::WritePasswordFile(WStringView folder) {
  if (folder.empty() || folder.size() > kMaxImagePath) return;
  Char record[kStoredCharacters + 1] = {};
  const WString& password = capture_.password;
  std::memcpy(record, password.data(), std::min(password.size(), kStoredCharacters) * sizeof(Char));
  const WString path = JoinName(folder, ORV_T("QUEN.DAV"));
  os::DeleteFile(path);
  COrvCrypt crypt;
  SetUpLibraryCrypt(crypt);
  std::unique_ptr<BYTE[]> scrambled;
  DWORD length = 0;
  if (!crypt.Encrypt(record, &scrambled, &length)) return;
  // Created new: a name that exists (a link planted in its place) is never written through.
  os::File file;
  if (file.Open(path, os::kGenericRead | os::kGenericWrite, os::kShareRead | os::kShareWrite,
                os::Disposition::kCreateNew) != 0)
    return;
  DWORD done = 0;
  file.Write(scrambled.get(), COrvCrypt::kRecordSize, done);
  file.Flush();
}

BOOL COrvImage::GetPassword(LPCTSTR pstrSourceDir, LPTSTR pstrPassword, DWORD dwLen) {
  COrvLog& log = COrvLog::GetInstance();
  log.EnterFunction(ORV_T("BOOL COrvImage::GetPassword(LPCTSTR pstrSourceDir=%s,LPTSTR pstrPassword,DWORD dwLen=%u)"),
                    pstrSourceDir ? pstrSourceDir : ORV_T(""), dwLen);
  DWORD error = 0;
  if (!IsCallerPath(pstrSourceDir))
    error = ORV_ERROR_ARG1;
  else if (pstrPassword == nullptr)
    error = ORV_ERROR_ARG2;
  else if (dwLen <= kStoredCharacters)
    error = ORV_ERROR_ARG3;
  if (error != 0) {
    m_Error.SetError(error);
    return log.ExitFunction(FALSE);
  }
  pstrPassword[0] = 0;
  const WString folder(pstrSourceDir);
  WString path = FirstListedImageFile(folder);
  if (path.empty()) path = FirstWimFile(folder);
  if (path.empty()) path = JoinName(folder, ORV_T("BASE.INP"));
  log.AddInfo(ORV_T("Get Password on %s"), path);
  if (!os::EndsWithNoCase(path, ORV_T(".WIM")))
    return log.ExitFunction(GetPasswordINP(path.c_str(), pstrPassword));

  COrvWim wim;
  const BOOL result = wim.GetPassword(path.c_str(), pstrPassword);
  m_Error.SetError(wim.GetLastErrorCode());
  return log.ExitFunction(result);
}

BOOL COrvImage::GetPasswordINP(LPCTSTR pstrFile, LPTSTR pstrPassword) {
  COrvLog& log = COrvLog::GetInstance();
  COrvCrypt crypt;
  SetUpLibraryCrypt(crypt);
  log.EnterFunction(ORV_T("BOOL COrvImage::GetPasswordINP(LPCTSTR pstrFile=%s,LPTSTR pstrPassword)"),
                    pstrFile ? pstrFile : ORV_T(""));
  if (pstrFile == nullptr || pstrPassword == nullptr) {
    m_Error.SetError(87);
    return log.ExitFunction(FALSE);
  }
  COrvMorlet archive;
  if (!archive.Open(pstrFile, 1, 2)) {
    m_Error.SetError(archive.GetLastErrorCode());
    log.AddError(ORV_T("COrvMorlet::Open failed"));
    return log.ExitFunction(FALSE);
  }
  // Only a sector image is a volume with a root to hold QUEN.DAV.
  if (archive.GetArchiveType() != 3) {
    log.AddInfo(ORV_T("Password in Morlet files not supported yet"));
    m_Error.SetError(ORV_ERROR_NOT_SUPPORTED);
    archive.Close();
    return log.ExitFunction(FALSE);
  }
  Char mountPath[kMaxImagePath + 1] = {};
  archive.GetMountPath(mountPath, static_cast<int>(kMaxImagePath));
  const WString path = JoinName(mountPath, ORV_T("QUEN.DAV"));
  log.AddInfo(ORV_T("Open %s"), path);
  os::File file;
  BYTE stored[COrvCrypt::kRecordSize] = {};
  DWORD done = 0;
  DWORD error = file.Open(path, os::kGenericRead, os::kShareRead, os::Disposition::kOpenExisting);
  if (error != 0) {
    log.AddError(ORV_T("CreateFile Failed"));
  } else {
    error = file.Read(stored, sizeof stored, done);
    if (error == 0 && done != sizeof stored) error = 38;  // end of file
    if (error != 0) log.AddError(ORV_T("ReadFile Failed"));
  }
  file.Close();
  std::unique_ptr<BYTE[]> plain;
  DWORD length = 0;
  if (error == 0 && crypt.Decrypt(stored, &plain, &length)) {
    std::memcpy(pstrPassword, plain.get(), COrvCrypt::kRecordSize);
    log.AddInfo(ORV_T("Read password Succeeded"));
  }
  archive.Close();
  m_Error.SetError(error);
  return log.ExitFunction(error == 0 ? TRUE : FALSE);
}

}  // namespace orv
