// Open, Close, the accessors of the current entry and the dispatch to the versions.
#include "archive/morlet.h"

#include <algorithm>
#include <cstring>

#include "archive/part_names.h"
#include "platform/case_fold.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/native_name.h"
#include "services/log.h"
#include "services/pseudo_random.h"

namespace orv {

using namespace archive;

// A mounted image is dismounted with the object. An archive left open for writing gets
// what waits in memory written out, as if each add had gone straight to disk.
COrvMorlet::~COrvMorlet() {
  if (!IsOpen()) return;
  // A destructor that threw would end the process.
  try {
    if (IsForeign()) {
      CloseForeign();
    } else if (IsV56()) {
      FlushWrites();
    }
  } catch (...) {
  }
}

BOOL COrvMorlet::Fail(DWORD error) {
  // A failure never reads as success.
  m_Error.SetError(error != err::kSuccess ? error : err::kInternalError);
  return FALSE;
}

BOOL COrvMorlet::Succeed() {
  m_Error.SetError(err::kSuccess);
  return TRUE;
}

void COrvMorlet::ResetState() {
  main_.Close();
  // A part file still open goes as itself: what waits for it is written out.
  if (auto* v56 = std::get_if<V56State>(&state_)) v56->parts.Close();
  state_ = std::monostate{};
  current_ = CurrentEntry{};
  session_ = RestoreSession{};
}

V12State& COrvMorlet::V12() {
  if (auto* v1 = std::get_if<V1State>(&state_)) return *v1;
  return std::get<V2State>(state_);
}

const EntryRecord& COrvMorlet::CurrentRecord() const {
  static const EntryRecord kNone;
  return IsV56() ? V56().record : kNone;
}

BOOL COrvMorlet::OpenArchive(LPCTSTR pstrFile, int nReadMode, int nVersion) {
  if (pstrFile == nullptr) return Fail(ORV_ERROR_ARG1);
  if (IsOpen()) Close();
  ResetState();
  COrvLog& log = COrvLog::GetInstance();
  const WString path(pstrFile);
  // Part and index files are named from the path: a cut path would name others.
  if (path.size() > kMaxNameCopy) {
    log.AddError(ORV_T("Archive path too long (%u characters): %s"),
                 static_cast<DWORD>(path.size()), path);
    return Fail(err::kFilenameExcedRange);
  }

  const bool reading = nReadMode == 1;
  DWORD existing = 0;
  const bool existed = os::GetAttributes(path, existing) == 0;
  DWORD error = reading ? main_.Open(path, os::kGenericRead, os::kShareRead,
                                     os::Disposition::kOpenExisting)
                        : main_.Open(path, os::kGenericRead | os::kGenericWrite, 0,
                                     os::Disposition::kOpenAlways);
  if (error) {
    log.AddError(ORV_T("CreateFile on %s - %u"), path, error);
    return Fail(error);
  }
  path_ = path;
  mode_ = reading ? 1 : 0;
  uint64_t mainSize = 0;
  if (main_.Size(mainSize) != 0) mainSize = 0;
  // An existing empty file is a new archive.
  const bool hasContent = existed && mainSize > 0;

  uint8_t first[12] = {};
  DWORD done = 0;
  if (reading || hasContent) {
    main_.Read(first, sizeof first, done);
    main_.Seek(0, os::SeekFrom::kBegin);
  }
  if (reading) {
    type_ = ArchiveTypeOf(first, done);
  } else {
    if (nVersion != 1 && nVersion != 2 && nVersion != 5 && nVersion != 6) {
      main_.Close();
      return Fail(ORV_ERROR_NOT_SUPPORTED);
    }
    type_ = static_cast<DWORD>(nVersion);
    // Appending to an archive of another version would corrupt it.
    if (hasContent && ArchiveTypeOf(first, done) != type_) {
      main_.Close();
      return Fail(err::kBadFormat);
    }
  }

  switch (type_) {
    case kTypeVirtualDisk:
    case kTypeWim:
      state_.emplace<MountedState>();
      error = OpenForeign();
      break;
    case kTypeVersion5:
    case kTypeVersion6:
      state_.emplace<V56State>();
      error = OpenV56(reading || hasContent);
      break;
    case kTypeVersion2:
      state_.emplace<V2State>().mainSize = mainSize;
      error = OpenV2(reading || hasContent);
      break;
    default:
      state_.emplace<V1State>().mainSize = mainSize;
      error = OpenV1(reading || hasContent);
      break;
  }
  if (error) {
    ResetState();
    return Fail(error);
  }
  return Succeed();
}

BOOL COrvMorlet::CloseArchive() {
  BOOL result;
  if (!IsOpen()) {
    result = Fail(ORV_ERROR_ARCHIVE_NOT_OPEN);
  } else if (IsForeign()) {
    result = CloseForeign();
  } else if (IsV56()) {
    result = CloseV56();
  } else if (type_ == kTypeVersion2) {
    result = CloseV2();
  } else {
    result = CloseV1();
  }
  ResetState();
  return result;
}

BOOL COrvMorlet::AddEntry(LPCTSTR pstrSourceFile, LPCTSTR pstrEntryName,
                         const void* pSecurityDescriptor, DWORD dwSecurityLength,
                         const ORVFILEATTRIBUTEDATA* pAttributes) {
  if (!IsOpen() || pstrSourceFile == nullptr || pstrEntryName == nullptr)
    return Fail(err::kInvalidParameter);
  if (IsForeign()) return Fail(ORV_ERROR_NOT_SUPPORTED);
  // An archive opened for reading is not written to.
  if (mode_ == 1) return Fail(err::kAccessDenied);
  // A longer name would be stored cut, and could then take the place of another.
  const WStringView name(pstrEntryName);
  if (name.size() > kMaxNameCopy) {
    COrvLog::GetInstance().AddError(ORV_T("Name too long for the archive (%u characters): %s"),
                                    static_cast<DWORD>(name.size()), WString(name));
    return Fail(err::kFilenameExcedRange);
  }
  if (IsV56()) {
    if (V56().streaming) return Fail(err::kBadCommand);
    return AddFileV56(pstrSourceFile, pstrEntryName, pSecurityDescriptor, dwSecurityLength,
                      pAttributes);
  }
  if (type_ == kTypeVersion2)
    return AddFileV2(pstrSourceFile, pstrEntryName, pSecurityDescriptor, dwSecurityLength,
                     pAttributes);
  return AddFileV1(pstrSourceFile, pstrEntryName, pAttributes);
}

BOOL COrvMorlet::StepEntry(int nAdvance) {
  if (!IsOpen()) return Fail(ORV_ERROR_ARCHIVE_NOT_OPEN);
  if (IsForeign()) return NextEntryForeign(nAdvance);
  if (IsV56()) return NextEntryV56(nAdvance);
  if (type_ == kTypeVersion2) return NextEntryV2(nAdvance);
  return NextEntryV1(nAdvance);
}

BOOL COrvMorlet::ExtractCurrentEntry(LPCTSTR pstrTargetDir, int nFlags) {
  if (pstrTargetDir == nullptr) return Fail(ORV_ERROR_ARG1);
  if (!IsOpen()) return Fail(ORV_ERROR_ARCHIVE_NOT_OPEN);
  if (IsForeign()) return ExtractCurrentForeign(pstrTargetDir);
  if (IsV56()) return ExtractCurrentV56(pstrTargetDir);
  if (type_ == kTypeVersion2) return ExtractCurrentV2(pstrTargetDir);
  return ExtractCurrentV1(pstrTargetDir, nFlags);
}

// One generator for the object's names, seeded with the tick count.
WString COrvMorlet::MakeTempName(WStringView name, DWORD attributes) {
  if (!(attributes & os::kAttrEncrypted) || (attributes & os::kAttrDirectory)) return WString();
  if (name.empty() || name.back() == '\\') return WString();
  const size_t slash = name.rfind(Char('\\'));
  WString last(slash == WStringView::npos ? name : name.substr(slash + 1));
  // The staging file lies beside the target: a name of 255 units at most (characters on
  // Windows, bytes on Linux), so the longest names give up their end to the two numbers
  // (22 characters at most).
  constexpr size_t kMaxStagingStem = 255 - 22;
  last.resize(os::FittingNameLength(last, kMaxStagingStem));
  // Seconds since 1970 from the file time.
  const uint64_t seconds = os::CurrentFileTime() / 10000000u - 11644473600u;
  return Format(ORV_T("%s.%u.%u"), last, PseudoRandom(),
                static_cast<uint32_t>(seconds));
}

void COrvMorlet::MakeCurrent(const ORVFILEATTRIBUTEDATA& attributes, WStringView name,
                             uint64_t size) {
  current_.attributes = attributes;
  current_.name = name.substr(0, kMaxNameCopy);
  current_.size = size;
  current_.tempName = MakeTempName(current_.name, attributes.dwFileAttributes);
}

// The staging file of an encrypted entry takes the temporary name the entry was given
// when it became current, and that name stays current after the extraction, so that a
// caller recording it for a later import finds the file.
RestoreItem COrvMorlet::ItemToRestore(WStringView name, const ORVFILEATTRIBUTEDATA& attributes,
                                      WStringView shortName) const {
  RestoreItem item;
  item.name = name;
  item.attributes = attributes;
  item.shortName = shortName;
  item.tempName = current_.tempName;
  return item;
}

void COrvMorlet::RefreshCurrent(const ORVFILEATTRIBUTEDATA& attributes, WStringView name,
                                uint64_t size) {
  WString tempName = std::move(current_.tempName);
  MakeCurrent(attributes, name, size);
  current_.tempName = std::move(tempName);
}

BOOL COrvMorlet::CopyText(WStringView text, LPTSTR buffer, int size) {
  if (size <= 0) return TRUE;
  if (buffer == nullptr) return Fail(ORV_ERROR_ARG1);
  const size_t count = std::min(text.size(), static_cast<size_t>(size - 1));
  std::copy_n(text.data(), count, buffer);
  buffer[count] = 0;
  return Succeed();
}

BOOL COrvMorlet::GetEntryName(LPTSTR pstrBuffer, int nSize) {
  return CopyText(current_.name, pstrBuffer, nSize);
}

BOOL COrvMorlet::GetEntryTempName(LPTSTR pstrBuffer, int nSize) {
  return CopyText(current_.tempName, pstrBuffer, nSize);
}

BOOL COrvMorlet::GetMountPath(LPTSTR pstrBuffer, int nSize) {
  return CopyText(IsForeign() ? Mounted().mountPath : WString(), pstrBuffer, nSize);
}

}  // namespace orv
