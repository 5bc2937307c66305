#include "archive/restore_target.h"

#include <algorithm>

#include "platform/encrypted_file.h"
#include "platform/errors.h"

namespace orv::archive {

namespace {

constexpr size_t kHeldFolders = 8;

}  // namespace

DWORD RestoreTarget::FolderOf(WStringView path, os::TargetFolder*& folder, WString& name) {
  const size_t slash = path.find_last_of(ORV_T("\\/"));
  if (slash == WStringView::npos || slash + 1 == path.size()) return err::kInvalidName;
  name.assign(path.substr(slash + 1));
  return HeldFolder(path.substr(0, slash), folder);
}

const WString* RestoreTarget::TrustedAbove(WStringView folderPath) const {
  const WString* above = nullptr;
  for (const WString& trusted : trusted_) {
    if (trusted.empty() || folderPath.size() <= trusted.size() ||
        folderPath.substr(0, trusted.size()) != trusted)
      continue;
    const bool separated = trusted.back() == '\\' || trusted.back() == '/' ||
                           folderPath[trusted.size()] == '\\' || folderPath[trusted.size()] == '/';
    if (separated && (above == nullptr || trusted.size() > above->size())) above = &trusted;
  }
  return above;
}

DWORD RestoreTarget::HeldFolder(WStringView folderPath, os::TargetFolder*& folder) {
  const auto held = std::find_if(folders_.begin(), folders_.end(),
                                 [&](const auto& entry) { return entry.first == folderPath; });
  if (held != folders_.end()) {
    std::rotate(held, held + 1, folders_.end());
    folder = folders_.back().second.get();
    if (folder->StillAtPath()) return err::kSuccess;
    folders_.pop_back();  // removed or replaced since: open what is there now
  }
  auto opened = std::make_unique<os::TargetFolder>();
  DWORD error;
  // A trusted folder may be a link, even one below another trusted folder.
  const bool trustedItself = trusted_.count(WString(folderPath)) != 0;
  if (const WString* trusted = trustedItself ? nullptr : TrustedAbove(folderPath)) {
    // Below a trusted folder every folder is opened from it, one name at a time.
    os::TargetFolder* root;
    if ((error = HeldFolder(*trusted, root))) return error;
    WStringView relative = folderPath.substr(trusted->size());
    while (!relative.empty() && (relative.front() == '\\' || relative.front() == '/'))
      relative.remove_prefix(1);
    error = opened->OpenBelow(*root, relative);
  } else {
    // A drive root ("D:") is opened as its folder ("D:\").
    const WString openPath = folderPath.size() == 2 && folderPath[1] == ':'
                                 ? WString(folderPath) + Char('\\')
                                 : WString(folderPath);
    error = opened->Open(openPath, trustedItself);
  }
  if (error) return error;
  if (folders_.size() == kHeldFolders) folders_.erase(folders_.begin());
  folders_.emplace_back(WString(folderPath), std::move(opened));
  folder = folders_.back().second.get();
  return err::kSuccess;
}

DWORD RestoreTarget::WriteFile(WStringView target, const Fill& fill) {
  os::TargetFolder* folder;
  WString name;
  if (DWORD error = FolderOf(target, folder, name)) return error;
  os::File file;
  WString staging;
  if (DWORD error = folder->CreateStaging(file, staging)) return error;
  DWORD error = fill(file, folder->PathOf(staging));
  file.Close();
  if (!error) error = folder->Replace(staging, name);
  if (error) folder->Remove(staging);
  return error;
}

DWORD RestoreTarget::CreateExclusive(WStringView path, os::File& file) {
  os::TargetFolder* folder;
  WString name;
  if (DWORD error = FolderOf(path, folder, name)) return error;
  return folder->CreateExclusive(name, file);
}

DWORD RestoreTarget::Remove(WStringView path) {
  os::TargetFolder* folder;
  WString name;
  if (DWORD error = FolderOf(path, folder, name)) return error;
  return folder->Remove(name);
}

DWORD RestoreTarget::ImportEncrypted(WStringView staging, WStringView target) {
  os::TargetFolder* folder;
  WString name;
  if (DWORD error = FolderOf(target, folder, name)) return error;
  WString fresh;
  if (DWORD error = folder->FreshName(fresh)) return error;
  if (DWORD error = os::ImportEncryptedRaw(staging, folder->PathOf(fresh))) return error;
  const DWORD error = folder->Replace(fresh, name);
  if (error) folder->Remove(fresh);
  return error;
}

}  // namespace orv::archive
