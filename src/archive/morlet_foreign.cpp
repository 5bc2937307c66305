// Types 3 and 4, files the archive object reads by mounting them: a virtual-disk image,
// mounted on a free drive letter by the virtual-disk library, and a WIM file, whose first
// image is mounted read-only into a folder through the WIM binding. The entries are the
// mounted tree, walked depth first; extraction copies them with their metadata.
#include "archive/morlet.h"
#include "archive/source_metadata.h"
#include "archive/target_path.h"
#include "platform/case_fold.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/system.h"
#include "platform/volume.h"
#include "services/log.h"
#include "services/virtual_disk.h"
#include "wim/wim.h"

namespace orv {

using namespace archive;

namespace {

// Entries that stay behind when a mounted image is extracted.
bool IsLeftOut(WStringView name) {
  const size_t slash = name.rfind(Char('\\'));
  const WStringView last = slash == WStringView::npos ? name : name.substr(slash + 1);
  for (WStringView skipped : {ORV_T("QUEN.DAV"), ORV_T("pagefile.sys"), ORV_T("hiberfil.sys"),
                              ORV_T("System Volume Information")})
    if (os::CompareNoCase(last, skipped) == 0) return true;
  return false;
}

ORVFILEATTRIBUTEDATA BlockOf(const os::FindData& data) {
  return AttributeBlock(data.attributes, data.times, data.size);
}

// Copies the whole content of `source` into `target`.
DWORD CopyContent(WStringView source, os::File& target) {
  os::File in;
  if (DWORD error = in.Open(source, os::kGenericRead, os::kShareRead,
                            os::Disposition::kOpenExisting, os::kBackupSemantics))
    return error;
  std::vector<uint8_t> buffer(kBlockSize);
  for (;;) {
    DWORD got = 0;
    if (DWORD error = in.Read(buffer.data(), kBlockSize, got)) return error;
    if (got == 0) return err::kSuccess;
    DWORD written = 0;
    if (DWORD error = target.Write(buffer.data(), got, written)) return error;
    if (written != got) return err::kDiskFull;
  }
}

// The descriptor of a file of the mounted image, read with the privileges that reach
// its audit part; empty (and logged) when it cannot be read.
std::vector<uint8_t> SourceDescriptor(WStringView source) {
  const bool restore = os::SetPrivilege(ORV_T("SeRestorePrivilege"), true) == 0;
  const bool security = os::SetPrivilege(ORV_T("SeSecurityPrivilege"), true) == 0;
  std::vector<uint8_t> descriptor;
  const DWORD which = os::kOwnerSecurity | os::kGroupSecurity | os::kDaclSecurity |
                      (security ? os::kSaclSecurity : 0);
  if (DWORD error = os::GetSecurity(source, which, descriptor)) {
    COrvLog::GetInstance().AddError(ORV_T("GetNamedSecurityInfo failed on %s: %u"), WString(source),
                                    error);
    descriptor.clear();
  }
  if (security) os::SetPrivilege(ORV_T("SeSecurityPrivilege"), false);
  if (restore) os::SetPrivilege(ORV_T("SeRestorePrivilege"), false);
  return descriptor;
}

}  // namespace

DWORD COrvMorlet::MountVirtualDisk() {
  COrvLog& log = COrvLog::GetInstance();
  WString drive;
  for (Char letter = 'Z'; letter >= 'C' && drive.empty(); --letter) {
    const WString root = WString(1, letter) + ORV_T(":\\");
    DWORD attributes;
    if (os::GetAttributes(root, attributes) != 0) drive = root;
  }
  if (drive.empty()) return err::kInvalidDrive;
  VirtualDiskLibrary library;
  if (library.LoadFromCurrentDirectory() != 0 ||
      library.Mount(os::ToSystemCodePage(drive), os::ToSystemCodePage(path_), 1) != 0) {
    log.AddError(ORV_T("Cannot mount %s on %s"), path_, drive);
    return err::kInvalidData;
  }
  mountPath_ = drive;
  return err::kSuccess;
}

DWORD COrvMorlet::MountWim() {
  COrvLog& log = COrvLog::GetInstance();
  WString volume;
  if (os::FindImageMountVolume(volume) != 0) return err::kInvalidDrive;
  const WString folder = Format(ORV_T("%sSyst%8.8X"), volume, PseudoRandom());
  if (DWORD error = os::CreateDirectory(folder)) return error;
  auto wim = std::make_unique<COrvWim>();
  if (!wim->WIMMountImage(folder.c_str(), path_.c_str(), 1, nullptr)) {
    const DWORD error = wim->GetLastErrorCode();
    log.AddError(ORV_T("Cannot mount %s in %s - %u"), path_, folder, error);
    os::RemoveDirectory(folder);
    return error;
  }
  mountWim_ = std::move(wim);
  mountPath_ = folder;
  return err::kSuccess;
}

DWORD COrvMorlet::OpenForeign() {
  const DWORD error = type_ == kTypeVirtualDisk ? MountVirtualDisk() : MountWim();
  if (error) return error;
  foreignWalkError_ = walk_.Start(mountPath_);
  return err::kSuccess;
}

BOOL COrvMorlet::NextEntryForeign(int advance) {
  if (foreignWalkError_) return Fail(foreignWalkError_);
  if (!walk_.HasEntry()) return Fail(err::kNoMoreItems);
  foreignEntry_ = walk_.Entry();
  MakeCurrent(BlockOf(foreignEntry_), walk_.RelativeName(), foreignEntry_.size);
  current_.tempName.clear();
  if (advance) {
    // The end of the walk is no failure: the next call answers 259.
    const DWORD error = walk_.Advance();
    if (error != err::kNoMoreItems) foreignWalkError_ = error;
  }
  return Succeed();
}

BOOL COrvMorlet::ExtractCurrentForeign(LPCTSTR folder) {
  if (current_.name.empty() || mountPath_.empty()) return Fail(err::kNoMoreItems);
  const DWORD attributes = foreignEntry_.attributes;
  if (IsLeftOut(current_.name)) return Succeed();
  // An encrypted file shows only its plain content through a mount: nothing to restore.
  if ((attributes & os::kAttrEncrypted) && !(attributes & os::kAttrDirectory)) return Succeed();
  const WString source = mountPath_ + (mountPath_.back() == '\\' ? ORV_T("") : ORV_T("\\")) +
                         current_.name;
  const std::vector<uint8_t> descriptor = SourceDescriptor(source);
  const RestoreItem item =
      ItemToRestore(current_.name, current_.attributes, foreignEntry_.shortName);
  RestoreSources sources;
  sources.content = [&](os::File& target) { return CopyContent(source, target); };
  sources.reparse = [&](std::vector<uint8_t>& data) { return os::GetReparseData(source, data); };
  sources.descriptor = [&](std::vector<uint8_t>& out) {
    out = descriptor;
    return err::kSuccess;
  };
  const DWORD error = RestoreEntry(folder, item, sources, session_);
  return error ? Fail(error) : Succeed();
}

BOOL COrvMorlet::ExtractFileForeign(LPCTSTR name, LPCTSTR folder) {
  // The name is read below the mount path: it must stay there.
  if (!IsSafeEntryName(name)) return Fail(err::kInvalidName);
  WString relative(name);
  while (!relative.empty() && relative.front() == '\\') relative.erase(0, 1);
  const WString source = mountPath_ + (mountPath_.back() == '\\' ? ORV_T("") : ORV_T("\\")) + relative;
  os::DirSearch search;
  os::FindData found;
  if (relative.empty() || search.First(source, found) != 0) {
    COrvLog::GetInstance().AddError(ORV_T("File %s not found"), WString(name));
    return Fail(err::kFileNotFound);
  }
  foreignEntry_ = std::move(found);
  MakeCurrent(BlockOf(foreignEntry_), relative, foreignEntry_.size);
  current_.tempName.clear();
  return ExtractCurrentForeign(folder);
}

BOOL COrvMorlet::CloseForeign() {
  walk_.Clear();
  main_.Close();
  if (type_ == kTypeVirtualDisk) {
    VirtualDiskLibrary library;
    const bool unmounted = !mountPath_.empty() && library.LoadFromCurrentDirectory() == 0 &&
                           library.UnMount(os::ToSystemCodePage(mountPath_)) == 0;
    return unmounted ? Succeed() : Fail(ORV_ERROR_DISMOUNT_FAILED);
  }
  if (!mountWim_) {
    m_Error.SetError(ORV_ERROR_DISMOUNT_FAILED);
    return TRUE;
  }
  const bool unmounted = mountWim_->WIMUnmountImage(mountPath_.c_str(), path_.c_str(), 1, FALSE);
  mountWim_.reset();
  if (!unmounted) return Fail(ORV_ERROR_DISMOUNT_FAILED);
  os::RemoveDirectory(mountPath_);
  return Succeed();
}

}  // namespace orv
