// Types 3 and 4, files the archive object reads by mounting them: a virtual-disk image,
// mounted on a free drive letter by the virtual-disk library, and a WIM file, whose first
// image is mounted read-only into a folder through the WIM binding. The entries are the
// mounted tree, walked depth first; extraction copies them with their metadata.
#include "archive/morlet.h"
#include "archive/source_metadata.h"
#include "archive/target_path.h"
#include "platform/case_fold.h"
#include "platform/clock.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/system.h"
#include "platform/volume.h"
#include "platform/whole_io.h"
#include "services/log.h"
#include "services/pseudo_random.h"
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
DWORD CopyContent(WStringView source, ContentWriter& target) {
  os::File in;
  if (DWORD error = in.Open(source, os::kGenericRead, os::kShareRead,
                            os::Disposition::kOpenExisting, os::kBackupSemantics))
    return error;
  return target.CopyFrom(in);
}

// The descriptor of a file of the mounted image, read with the privileges that reach
// its audit part; empty (and logged) when it cannot be read.
std::vector<uint8_t> MountedSourceDescriptor(WStringView source) {
  const os::PrivilegeHold restore(ORV_T("SeRestorePrivilege"));
  const os::PrivilegeHold security(ORV_T("SeSecurityPrivilege"));
  std::vector<uint8_t> descriptor;
  const DWORD which = os::kOwnerSecurity | os::kGroupSecurity | os::kDaclSecurity |
                      (security.Held() ? os::kSaclSecurity : 0);
  if (DWORD error = os::GetSecurity(source, which, descriptor)) {
    COrvLog::GetInstance().AddError(ORV_T("GetNamedSecurityInfo failed on %s: %u"), WString(source),
                                    error);
    descriptor.clear();
  }
  return descriptor;
}

}  // namespace

WString COrvMorlet::MountedPath(WStringView relative) const {
  const MountedState& mounted = Mounted();
  const bool separated = !mounted.mountPath.empty() && mounted.mountPath.back() == '\\';
  return mounted.mountPath + (separated ? ORV_T("") : ORV_T("\\")) + WString(relative);
}

DWORD COrvMorlet::MountVirtualDisk() {
  MountedState& mounted = Mounted();
  COrvLog& log = COrvLog::GetInstance();
  const Char letter = FindFreeDriveLetter();
  if (letter == '.') return err::kInvalidDrive;
  const WString drive = WString(1, letter) + ORV_T(":\\");
  VirtualDiskLibrary library;
  std::string narrowDrive, narrowPath;
  if (os::ToSystemCodePage(drive, narrowDrive) != 0 ||
      os::ToSystemCodePage(path_, narrowPath) != 0 || library.Load() != 0 ||
      library.Mount(narrowDrive, narrowPath, 1) != 0) {
    log.AddError(ORV_T("Cannot mount %s on %s"), path_, drive);
    return err::kInvalidData;
  }
  mounted.mountPath = drive;
  return err::kSuccess;
}

DWORD COrvMorlet::MountWim() {
  MountedState& mounted = Mounted();
  COrvLog& log = COrvLog::GetInstance();
  WString volume;
  if (os::FindImageMountVolume(volume) != 0) return err::kInvalidDrive;
  // A name another mount took already is drawn again.
  WString folder;
  DWORD created = err::kAlreadyExists;
  for (int attempt = 0; attempt < 16 && created == err::kAlreadyExists; ++attempt) {
    folder = Format(ORV_T("%sSyst%8.8X"), volume, PseudoRandom());
    created = os::CreateDirectory(folder);
  }
  if (created) return created;
  auto wim = std::make_unique<COrvWim>();
  if (!wim->WIMMountImage(folder.c_str(), path_.c_str(), 1, nullptr)) {
    const DWORD error = wim->GetLastErrorCode();
    log.AddError(ORV_T("Cannot mount %s in %s - %u"), path_, folder, error);
    os::RemoveDirectory(folder);
    return error;
  }
  mounted.wim = std::move(wim);
  mounted.mountPath = folder;
  return err::kSuccess;
}

DWORD COrvMorlet::OpenForeign() {
  MountedState& mounted = Mounted();
  const DWORD error = type_ == kTypeVirtualDisk ? MountVirtualDisk() : MountWim();
  if (error) return error;
  mounted.walkError = mounted.walk.Start(mounted.mountPath);
  return err::kSuccess;
}

BOOL COrvMorlet::NextEntryForeign(int advance) {
  MountedState& mounted = Mounted();
  if (mounted.walkError) return Fail(mounted.walkError);
  if (!mounted.walk.HasEntry()) return Fail(err::kNoMoreItems);
  mounted.entry = mounted.walk.Entry();
  MakeCurrent(BlockOf(mounted.entry), mounted.walk.RelativeName(), mounted.entry.size);
  current_.tempName.clear();
  if (advance) {
    // The end of the walk is no failure: the next call answers 259.
    const DWORD error = mounted.walk.Advance();
    if (error != err::kNoMoreItems) mounted.walkError = error;
  }
  return Succeed();
}

BOOL COrvMorlet::ExtractCurrentForeign(LPCTSTR folder) {
  MountedState& mounted = Mounted();
  if (current_.name.empty() || mounted.mountPath.empty()) return Fail(err::kNoMoreItems);
  const DWORD attributes = mounted.entry.attributes;
  if (IsLeftOut(current_.name)) return Succeed();
  // An encrypted file shows only its plain content through a mount: nothing to restore.
  if ((attributes & os::kAttrEncrypted) && !(attributes & os::kAttrDirectory)) return Succeed();
  const WString source = MountedPath(current_.name);
  const std::vector<uint8_t> descriptor = MountedSourceDescriptor(source);
  const RestoreItem item =
      ItemToRestore(current_.name, current_.attributes, mounted.entry.shortName);
  RestoreSources sources;
  sources.content = [&](ContentWriter& target) { return CopyContent(source, target); };
  sources.reparse = [&](std::vector<uint8_t>& data) { return os::GetReparseData(source, data); };
  sources.descriptor = [&](std::vector<uint8_t>& out) {
    out = descriptor;
    return err::kSuccess;
  };
  const DWORD error = RestoreEntry(folder, item, sources, session_);
  return error ? Fail(error) : Succeed();
}

BOOL COrvMorlet::ExtractFileForeign(LPCTSTR name, LPCTSTR folder) {
  MountedState& mounted = Mounted();
  WString relative(name);
  while (!relative.empty() && (relative.front() == '\\' || relative.front() == '/'))
    relative.erase(0, 1);
  // The name is read below the mount path and must stay there: nothing that climbs out,
  // no wildcards, and no link of the image on the way, which could lead anywhere.
  if (!IsSafeEntryName(name) || relative.find_first_of(ORV_T("*?")) != WString::npos)
    return Fail(err::kInvalidName);
  const size_t last = relative.find_last_of(ORV_T("\\/"));
  for (size_t at = relative.find_first_of(ORV_T("\\/")); at != WString::npos && at <= last;
       at = relative.find_first_of(ORV_T("\\/"), at + 1)) {
    os::FileInfo step;
    if (os::GetInfo(MountedPath(relative.substr(0, at)), step) == 0 &&
        (step.attributes & os::kAttrReparsePoint)) {
      COrvLog::GetInstance().AddError(ORV_T("%s lies behind a link of the image"), WString(name));
      return Fail(err::kInvalidName);
    }
  }
  os::DirSearch search;
  os::FindData found;
  if (relative.empty() || search.First(MountedPath(relative), found) != 0) {
    COrvLog::GetInstance().AddError(ORV_T("File %s not found"), WString(name));
    return Fail(err::kFileNotFound);
  }
  // The entry as the image spells it.
  relative = (last == WString::npos ? WString() : relative.substr(0, last + 1)) + found.name;
  mounted.entry = std::move(found);
  MakeCurrent(BlockOf(mounted.entry), relative, mounted.entry.size);
  current_.tempName.clear();
  return ExtractCurrentForeign(folder);
}

BOOL COrvMorlet::CloseForeign() {
  MountedState& mounted = Mounted();
  mounted.walk.Clear();
  main_.Close();
  if (type_ == kTypeVirtualDisk) {
    VirtualDiskLibrary library;
    std::string narrowDrive;
    const bool unmounted = !mounted.mountPath.empty() &&
                           os::ToSystemCodePage(mounted.mountPath, narrowDrive) == 0 &&
                           library.Load() == 0 &&
                           library.UnMount(narrowDrive) == 0;
    return unmounted ? Succeed() : Fail(ORV_ERROR_DISMOUNT_FAILED);
  }
  if (!mounted.wim) {
    m_Error.SetError(ORV_ERROR_DISMOUNT_FAILED);
    return TRUE;
  }
  const bool unmounted =
      mounted.wim->WIMUnmountImage(mounted.mountPath.c_str(), path_.c_str(), 1, FALSE);
  mounted.wim.reset();
  if (!unmounted) return Fail(ORV_ERROR_DISMOUNT_FAILED);
  // The system may hold the folder of a mount for a moment after the image has gone
  // (Linux: a mount whose driver has just ended), so removing it is tried again a while.
  for (int attempt = 0; attempt < 30; ++attempt) {
    const DWORD error = os::RemoveDirectory(mounted.mountPath);
    if (error == 0 || error == err::kFileNotFound || error == err::kPathNotFound) break;
    os::Sleep(100);
  }
  return Succeed();
}

}  // namespace orv
