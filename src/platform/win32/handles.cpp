// Handles held on a path, found in the system's extended handle table (full process ids
// and handle values) through the native functions of ntdll.dll, bound at run time.
#include "platform/handles.h"

#include <cstddef>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/case_fold.h"
#include "platform/win32/native.h"

namespace orv::os {

namespace {

constexpr ULONG kExtendedHandleInformation = 64;
constexpr ULONG kObjectTypeInformation = 2;
constexpr ULONG kFileNameInformation = 9;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr DWORD kNoInterface = 0x80004002;
constexpr DWORD kNameQueryMilliseconds = 50;
constexpr ULONG kNameBytes = 520;
constexpr DWORD kAllAccess = 0x1F0FFF;
constexpr DWORD kQueryLimitedInformation = 0x1000;

using QuerySystemInformation = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
using QueryObject = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
using QueryInformationFile = LONG(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);

// A function found at run time, converted through void* as function pointers of
// another type must be.
template <class Function>
Function ModuleFunction(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

struct ExtendedEntry {
  PVOID object;
  ULONG_PTR processId;
  ULONG_PTR handle;
  ULONG grantedAccess;
  USHORT creatorBackTraceIndex;
  USHORT objectTypeIndex;
  ULONG attributes;
  ULONG reserved;
};

struct ExtendedTable {
  ULONG_PTR count;
  ULONG_PTR reserved;
  ExtendedEntry entries[1];
};

struct Native {
  Native() {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return;
    querySystem = ModuleFunction<QuerySystemInformation>(ntdll, "NtQuerySystemInformation");
    queryObject = ModuleFunction<QueryObject>(ntdll, "NtQueryObject");
    queryFile = ModuleFunction<QueryInformationFile>(ntdll, "NtQueryInformationFile");
  }
  bool complete() const { return querySystem && queryObject && queryFile; }

  QuerySystemInformation querySystem = nullptr;
  QueryObject queryObject = nullptr;
  QueryInformationFile queryFile = nullptr;
};

// The handle table; the count is checked against the bytes returned.
DWORD QueryTable(const Native& native, std::vector<BYTE>& buffer, size_t& count) {
  ULONG size = 256 * 1024;
  for (int attempt = 0; attempt < 8; ++attempt) {
    buffer.assign(size, 0);
    ULONG needed = 0;
    const LONG status =
        native.querySystem(kExtendedHandleInformation, buffer.data(), size, &needed);
    if (status >= 0) {
      const auto* table = reinterpret_cast<const ExtendedTable*>(buffer.data());
      const size_t fits = (size - offsetof(ExtendedTable, entries)) / sizeof(ExtendedEntry);
      count = table->count < fits ? table->count : fits;
      return 0;
    }
    if (status != kInfoLengthMismatch) return static_cast<DWORD>(status);
    const ULONG grown = needed > size ? needed + 64 * 1024 : size * 2;
    if (grown < size) return ERROR_NOT_ENOUGH_MEMORY;
    size = grown;
  }
  return ERROR_NOT_ENOUGH_MEMORY;
}

// Whether the handle's object is a file; nothing when the type cannot be read.
std::optional<bool> IsFileObject(const Native& native, HANDLE handle) {
  std::vector<BYTE> buffer(1024);
  ULONG needed = 0;
  LONG status = native.queryObject(handle, kObjectTypeInformation, buffer.data(),
                                   static_cast<ULONG>(buffer.size()), &needed);
  if (status < 0 && needed > buffer.size() && needed < 65536) {
    buffer.assign(needed + 256, 0);
    status = native.queryObject(handle, kObjectTypeInformation, buffer.data(),
                                static_cast<ULONG>(buffer.size()), &needed);
  }
  if (status < 0) return std::nullopt;
  const auto* name = reinterpret_cast<const UNICODE_STRING*>(buffer.data());
  if (!name->Buffer || name->Length > buffer.size()) return std::nullopt;
  return CompareNoCase(WStringView(name->Buffer, name->Length / sizeof(wchar_t)), L"File") == 0;
}

// A name query that may block for ever (a pipe that waits for a client). It runs on a
// thread of its own that is never terminated, since a terminated thread may hold a
// lock of this process's heap: the caller waits 50 milliseconds and then abandons it.
// Whichever of the two finishes last frees the query and closes its handle.
struct NameQuery {
  LONG references = 2;
  HANDLE handle = nullptr;
  bool ownsHandle = false;
  QueryInformationFile queryFile = nullptr;
  LONG status = -1;
  bool haveSerial = false;
  DWORD volumeSerial = 0;
  BYTE buffer[kNameBytes + sizeof(wchar_t)] = {};

  void Leave() {
    if (::InterlockedDecrement(&references) != 0) return;
    if (ownsHandle) ::CloseHandle(handle);
    delete this;
  }
  static DWORD WINAPI Run(LPVOID context) {
    auto* query = static_cast<NameQuery*>(context);
    IO_STATUS_BLOCK io{};
    query->status =
        query->queryFile(query->handle, &io, query->buffer, kNameBytes, kFileNameInformation);
    BY_HANDLE_FILE_INFORMATION info{};
    if (query->status >= 0 && ::GetFileInformationByHandle(query->handle, &info)) {
      query->volumeSerial = info.dwVolumeSerialNumber;
      query->haveSerial = true;
    }
    query->Leave();
    return 0;
  }
};

struct ObjectName {
  std::wstring path;  // on its volume; empty when it has none or did not answer in time
  bool haveSerial = false;
  DWORD volumeSerial = 0;
};

// The query takes over `handle` when `owned`, and closes it when it ends.
ObjectName QueryObjectName(const Native& native, HANDLE handle, bool owned) {
  auto* query = new NameQuery;
  query->handle = handle;
  query->ownsHandle = owned;
  query->queryFile = native.queryFile;
  HANDLE thread = ::CreateThread(nullptr, 0, &NameQuery::Run, query, 0, nullptr);
  ObjectName name;
  if (!thread) {
    query->references = 1;
    query->Leave();
    return name;
  }
  if (::WaitForSingleObject(thread, kNameQueryMilliseconds) == WAIT_OBJECT_0 &&
      query->status >= 0) {
    ULONG length = 0;
    std::memcpy(&length, query->buffer, sizeof(length));
    if (length >= 4 && length <= kNameBytes - sizeof(ULONG)) {
      const auto* text = reinterpret_cast<const wchar_t*>(query->buffer + sizeof(ULONG));
      name.path.assign(text, length / sizeof(wchar_t));
      if (name.path.size() > 259) name.path.resize(259);
    }
    name.haveSerial = query->haveSerial;
    name.volumeSerial = query->volumeSerial;
  }
  ::CloseHandle(thread);
  query->Leave();
  return name;
}

std::wstring ProcessImageName(DWORD processId, HANDLE process) {
  if (processId == 4) return L"System";
  using QueryName = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
  const auto queryName =
      ModuleFunction<QueryName>(::GetModuleHandleW(L"kernel32.dll"), "QueryFullProcessImageNameW");
  wchar_t name[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  if (!queryName || !queryName(process, 0, name, &size)) return std::wstring();
  return std::wstring(name, size);
}

bool IsWow64(HANDLE process) {
  using IsWow64Process = BOOL(WINAPI*)(HANDLE, PBOOL);
  const auto isWow64 =
      ModuleFunction<IsWow64Process>(::GetModuleHandleW(L"kernel32.dll"), "IsWow64Process");
  BOOL wow64 = FALSE;
  return isWow64 && isWow64(process, &wow64) && wow64;
}

struct Target {
  std::wstring pathOnVolume;  // "\Data\Old"
  DWORD volumeSerial = 0;
};

DWORD ResolveTarget(WStringView path, Target& target) {
  const std::wstring full = win32::NativePath(path);
  wchar_t volume[MAX_PATH + 1] = {};
  if (!::GetVolumePathNameW(full.c_str(), volume, MAX_PATH)) return win32::LastError();
  if (!::GetVolumeInformationW(volume, nullptr, 0, &target.volumeSerial, nullptr, nullptr, nullptr,
                               0))
    return win32::LastError();
  std::wstring plain = full.rfind(L"\\\\?\\", 0) == 0 ? full.substr(4) : full;
  std::wstring root = volume;
  if (root.rfind(L"\\\\?\\", 0) == 0) root = root.substr(4);
  if (plain.size() < root.size() || root.empty()) return ERROR_BAD_PATHNAME;
  target.pathOnVolume = plain.substr(root.size() - 1);
  while (target.pathOnVolume.size() > 1 && target.pathOnVolume.back() == L'\\')
    target.pathOnVolume.pop_back();
  return 0;
}

}  // namespace

DWORD FindHandlesOnPath(WStringView path, std::vector<HeldHandle>& handles) {
  handles.clear();
  const Native native;
  if (!native.complete()) return kNoInterface;
  Target target;
  if (const DWORD error = ResolveTarget(path, target)) return error;
  std::vector<BYTE> buffer;
  size_t count = 0;
  if (const DWORD error = QueryTable(native, buffer, count)) return error;
  const auto* table = reinterpret_cast<const ExtendedTable*>(buffer.data());

  const DWORD self = ::GetCurrentProcessId();
  const bool selfWow64 = IsWow64(::GetCurrentProcess());
  std::map<USHORT, bool> fileTypes;  // object type index -> is a file
  // Each owning process is opened once; null for one that cannot be opened, whose name
  // cannot be read or that is of the other bitness: its handles are skipped.
  struct Owner {
    HANDLE process = nullptr;
    std::wstring name;
  };
  std::map<DWORD, Owner> owners;
  for (size_t i = 0; i < count; ++i) {
    const ExtendedEntry& entry = table->entries[i];
    const auto known = fileTypes.find(entry.objectTypeIndex);
    if (known != fileTypes.end() && !known->second) continue;
    const auto processId = static_cast<DWORD>(entry.processId);
    const auto value = reinterpret_cast<HANDLE>(entry.handle);

    auto owner = owners.find(processId);
    if (owner == owners.end()) {
      Owner opened;
      opened.process =
          ::OpenProcess(kQueryLimitedInformation | PROCESS_DUP_HANDLE, FALSE, processId);
      if (opened.process && IsWow64(opened.process) != selfWow64) {
        ::CloseHandle(opened.process);
        opened.process = nullptr;
      }
      if (opened.process) opened.name = ProcessImageName(processId, opened.process);
      if (opened.process && opened.name.empty()) {  // a process without a readable name is skipped
        ::CloseHandle(opened.process);
        opened.process = nullptr;
      }
      owner = owners.emplace(processId, std::move(opened)).first;
    }
    if (!owner->second.process) continue;

    HANDLE usable = value;
    const bool duplicated = processId != self;
    if (duplicated && !::DuplicateHandle(owner->second.process, value, ::GetCurrentProcess(),
                                         &usable, 0, FALSE, DUPLICATE_SAME_ACCESS))
      continue;
    const std::optional<bool> isFile = IsFileObject(native, usable);
    if (isFile) fileTypes[entry.objectTypeIndex] = *isFile;
    if (!isFile.value_or(false)) {
      if (duplicated) ::CloseHandle(usable);
      continue;
    }
    const ObjectName name = QueryObjectName(native, usable, duplicated);
    const bool match = !name.path.empty() && CompareNoCase(name.path, target.pathOnVolume) == 0 &&
                       name.haveSerial && name.volumeSerial == target.volumeSerial;
    if (match)
      handles.push_back({processId, static_cast<uint64_t>(entry.handle), owner->second.name});
  }
  for (const auto& [processId, owner] : owners)
    if (owner.process) ::CloseHandle(owner.process);
  return 0;
}

CloseResult CloseHandleInProcess(const HeldHandle& handle) {
  CloseResult result;
  HANDLE process = ::OpenProcess(kAllAccess, FALSE, handle.processId);
  if (!process) {
    result.error = win32::LastError();
    return result;
  }
  HMODULE kernel32 = ::LoadLibraryW(L"kernel32.dll");
  const auto closeHandle =
      kernel32 ? ModuleFunction<LPTHREAD_START_ROUTINE>(kernel32, "CloseHandle") : nullptr;
  if (!kernel32) {
    result = {CloseStep::kLoadLibrary, win32::LastError(), 0};
  } else if (!closeHandle) {
    result = {CloseStep::kGetProcAddress, win32::LastError(), 0};
  } else {
    HANDLE thread = ::CreateRemoteThread(
        process, nullptr, 0, closeHandle,
        reinterpret_cast<LPVOID>(static_cast<ULONG_PTR>(handle.value)), 0, nullptr);
    if (!thread) {
      result = {CloseStep::kCreateThread, win32::LastError(), 0};
    } else {
      ::WaitForSingleObject(thread, INFINITE);
      DWORD exitCode = 0;
      ::GetExitCodeThread(thread, &exitCode);
      result = {CloseStep::kDone, 0, exitCode};
      ::CloseHandle(thread);
    }
  }
  if (kernel32) ::FreeLibrary(kernel32);
  ::CloseHandle(process);
  return result;
}

}  // namespace orv::os
