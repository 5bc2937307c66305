// Process rights and system queries on Windows.
#include "platform/system.h"

#include "platform/win32/native.h"

#include <aclapi.h>

#include <vector>

namespace orv::os {

using win32::LastError;
using win32::NativePath;

namespace {

// Device and partition numbers of the volume behind a drive letter.
DWORD DeviceNumberOfDrive(wchar_t letter, STORAGE_DEVICE_NUMBER& number) {
  wchar_t device[] = L"\\\\.\\?:";
  device[4] = letter;
  HANDLE volume = CreateFileW(device, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (volume == INVALID_HANDLE_VALUE) return LastError();
  DWORD returned = 0;
  const BOOL ok = DeviceIoControl(volume, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0,
                                  &number, sizeof(number), &returned, nullptr);
  const DWORD error = ok ? 0 : LastError();
  CloseHandle(volume);
  return error;
}

// A function of kernel32 that older systems lack, found at run time.
template <class Function>
Function Kernel32Function(const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

DWORD AdministratorsSid(PSID& sid) {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  return AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &sid)
             ? 0
             : LastError();
}

}  // namespace

namespace {

// Whether the token has the privilege enabled now, read from the token itself.
bool IsEnabled(HANDLE token, const LUID& luid) {
  DWORD size = 0;
  GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
  if (size == 0) return false;
  std::vector<BYTE> buffer(size);
  if (!GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) return false;
  const auto* list = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
  for (DWORD i = 0; i < list->PrivilegeCount; ++i) {
    const LUID_AND_ATTRIBUTES& entry = list->Privileges[i];
    if (entry.Luid.LowPart == luid.LowPart && entry.Luid.HighPart == luid.HighPart)
      return (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
  }
  return false;
}

}  // namespace

DWORD SetPrivilege(WStringView name, bool enable, bool* changed) {
  if (changed) *changed = false;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
    return LastError();
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
  const std::wstring privilege(name);
  DWORD error = 0;
  if (!LookupPrivilegeValueW(nullptr, privilege.c_str(), &privileges.Privileges[0].Luid)) {
    error = LastError();
  } else {
    // The state before is read from the token rather than from the previous state the
    // adjustment reports, which not every implementation fills the same way.
    const bool wasEnabled = IsEnabled(token, privileges.Privileges[0].Luid);
    if (!AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr))
      error = LastError();
    else
      error = ::GetLastError();  // success, or ERROR_NOT_ALL_ASSIGNED when the token lacks it
    if (error == 0 && changed) *changed = wasEnabled != enable;
  }
  CloseHandle(token);
  return error;
}

DWORD GrantAdministratorsAccess(WStringView path, DWORD mask) {
  const WString object = NativePath(path);
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD error = GetNamedSecurityInfoW(object.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                      nullptr, nullptr, &dacl, nullptr, &descriptor);
  if (error != 0) return error;
  PSID admins = nullptr;
  error = AdministratorsSid(admins);
  PACL updated = nullptr;
  if (error == 0) {
    EXPLICIT_ACCESSW access{};
    access.grfAccessPermissions = mask;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_GROUP;
    access.Trustee.ptstrName = static_cast<LPWSTR>(admins);
    error = SetEntriesInAclW(1, &access, dacl, &updated);
  }
  if (error == 0)
    error = SetNamedSecurityInfoW(const_cast<LPWSTR>(object.c_str()), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION, nullptr, nullptr, updated, nullptr);
  if (updated) LocalFree(updated);
  if (admins) FreeSid(admins);
  LocalFree(descriptor);
  return error;
}

DWORD TakeOwnership(WStringView path) {
  const WString object = NativePath(path);
  PSID admins = nullptr;
  DWORD error = AdministratorsSid(admins);
  if (error == 0)
    error = SetNamedSecurityInfoW(const_cast<LPWSTR>(object.c_str()), SE_FILE_OBJECT,
                                  OWNER_SECURITY_INFORMATION, admins, nullptr, nullptr, nullptr);
  if (admins) FreeSid(admins);
  return error;
}

bool IsWow64Process() {
  using IsWow64 = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto isWow64 = Kernel32Function<IsWow64>("IsWow64Process");
  BOOL wow64 = FALSE;
  return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

DWORD DisableFsRedirection(void*& state) {
  state = nullptr;
  using Disable = BOOL(WINAPI*)(PVOID*);
  auto disable = Kernel32Function<Disable>("Wow64DisableWow64FsRedirection");
  if (!disable || !IsWow64Process()) return 0;
  return disable(&state) ? 0 : LastError();
}

DWORD RevertFsRedirection(void* state) {
  using Revert = BOOL(WINAPI*)(PVOID);
  auto revert = Kernel32Function<Revert>("Wow64RevertWow64FsRedirection");
  if (!revert || !IsWow64Process()) return 0;
  return revert(state) ? 0 : LastError();
}

DWORD PartitionNumberOfDrive(Char letter) {
  STORAGE_DEVICE_NUMBER number{};
  return DeviceNumberOfDrive(letter, number) == 0 ? number.PartitionNumber : 0;
}

DWORD WindowsFolder(WString& folder) {
  wchar_t windows[MAX_PATH];
  const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
  if (length == 0) return LastError();
  if (length >= MAX_PATH) return err::kFilenameExcedRange;
  folder.assign(windows, length);
  return err::kSuccess;
}

DWORD SystemVolumeLocation(DWORD& disk, DWORD& partition) {
  wchar_t windows[MAX_PATH];
  if (GetSystemWindowsDirectoryW(windows, MAX_PATH) == 0) return LastError();
  STORAGE_DEVICE_NUMBER number{};
  if (DWORD error = DeviceNumberOfDrive(windows[0], number)) return error;
  disk = number.DeviceNumber;
  partition = number.PartitionNumber;
  return 0;
}

ServiceLookup FindSystemService(WStringView name) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) return ServiceLookup::kNoServiceManager;
  SC_HANDLE service = OpenServiceW(manager, WString(name).c_str(), GENERIC_READ);
  if (service != nullptr) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return service != nullptr ? ServiceLookup::kInstalled : ServiceLookup::kNotInstalled;
}

WString VirtualDiskFormatCommand(WStringView drive) {
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return WString(folder, length) + L"\\FORMAT.COM " + WString(drive) + L" /fs:ntfs /q /y";
}

}  // namespace orv::os
