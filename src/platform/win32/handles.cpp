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
constexpr ULONG kFileInternalInformation = 6;
constexpr ULONG kFileFsVolumeInformation = 1;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr DWORD kNoInterface = 0x80004002;
constexpr DWORD kNameQueryMilliseconds = 50;
constexpr DWORD kCancelMilliseconds = 50;
constexpr DWORD kEndMilliseconds = 1000;
constexpr DWORD kQueryLimitedInformation = 0x1000;

using QuerySystemInformation = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
using QueryObject = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
using QueryInformationFile = LONG(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);
using QueryVolumeInformationFile = LONG(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);

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
    queryVolume =
        ModuleFunction<QueryVolumeInformationFile>(ntdll, "NtQueryVolumeInformationFile");
  }
  bool complete() const { return querySystem && queryObject && queryFile && queryVolume; }

  QuerySystemInformation querySystem = nullptr;
  QueryObject queryObject = nullptr;
  QueryInformationFile queryFile = nullptr;
  QueryVolumeInformationFile queryVolume = nullptr;
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

// The identity of the file object behind a handle: its volume's serial number and its
// file index. Neither query needs an access right, but both wait for a file object
// opened for synchronous I/O that another thread keeps busy (a pipe waiting for a
// client), so they run on a worker thread of their own.
//
// One worker serves every query of a scan. Each query is given 50 milliseconds; one
// that does not answer has its I/O cancelled (CancelSynchronousIo) and, if it still
// does not return, the worker is terminated, waited for and replaced by a new one on
// the next query. The worker allocates nothing, so ending it leaves no lock held.
class IdentityWorker {
 public:
  explicit IdentityWorker(const Native& native) : native_(native) {}
  ~IdentityWorker() { Stop(); }
  IdentityWorker(const IdentityWorker&) = delete;
  IdentityWorker& operator=(const IdentityWorker&) = delete;

  std::optional<FileIdentity> Identify(HANDLE handle) {
    if (!thread_ && !Start()) return std::nullopt;
    shared_->handle = handle;
    shared_->answered = false;
    ::ResetEvent(shared_->done);
    ::SetEvent(shared_->request);
    if (::WaitForSingleObject(shared_->done, kNameQueryMilliseconds) != WAIT_OBJECT_0) {
      // No answer in time: the query is abandoned, and the worker with it unless the
      // cancelled I/O lets it come back at once.
      ::CancelSynchronousIo(thread_);
      if (::WaitForSingleObject(shared_->done, kCancelMilliseconds) != WAIT_OBJECT_0) End(true);
      return std::nullopt;
    }
    if (!shared_->answered) return std::nullopt;
    return shared_->identity;
  }

 private:
  // What the caller and the worker share. Owned by the caller; the worker only reads
  // the request and writes the answer, between the two events.
  struct Shared {
    HANDLE request = nullptr;  // auto-reset: a query (or the end) waits
    HANDLE done = nullptr;     // manual-reset: the query is answered
    HANDLE handle = nullptr;
    bool quit = false;
    bool answered = false;
    FileIdentity identity;
    QueryInformationFile queryFile = nullptr;
    QueryVolumeInformationFile queryVolume = nullptr;
  };

  static DWORD WINAPI Run(LPVOID context) {
    auto* shared = static_cast<Shared*>(context);
    for (;;) {
      ::WaitForSingleObject(shared->request, INFINITE);
      if (shared->quit) return 0;
      IO_STATUS_BLOCK io{};
      // FILE_FS_VOLUME_INFORMATION: creation time, serial, label length, objects flag
      // and the label, which is not needed (an overflow status still fills the rest).
      alignas(8) BYTE volume[64] = {};
      alignas(8) LARGE_INTEGER index{};
      const LONG volumeStatus = shared->queryVolume(shared->handle, &io, volume, sizeof volume,
                                                    kFileFsVolumeInformation);
      const LONG indexStatus =
          shared->queryFile(shared->handle, &io, &index, sizeof index, kFileInternalInformation);
      // STATUS_BUFFER_OVERFLOW (0x80000005) fills the fixed part of the volume record.
      const bool volumeKnown = volumeStatus >= 0 || volumeStatus == static_cast<LONG>(0x80000005);
      if (volumeKnown && indexStatus >= 0) {
        ULONG serial = 0;
        std::memcpy(&serial, volume + 8, sizeof serial);
        shared->identity = {serial, static_cast<uint64_t>(index.QuadPart)};
        shared->answered = true;
      }
      ::SetEvent(shared->done);
    }
  }

  bool Start() {
    if (!shared_) {
      shared_ = new Shared;
      shared_->request = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
      shared_->done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
      shared_->queryFile = native_.queryFile;
      shared_->queryVolume = native_.queryVolume;
      if (!shared_->request || !shared_->done) {
        FreeShared();
        return false;
      }
    }
    shared_->quit = false;
    ::ResetEvent(shared_->request);
    thread_ = ::CreateThread(nullptr, 64 * 1024, &Run, shared_, 0, nullptr);
    return thread_ != nullptr;
  }

  // Ends the worker: asked to, or (stuck) terminated. Its shared record is kept for
  // the next worker unless the thread could not be seen to end, in which case it is
  // left to it.
  void End(bool stuck) {
    if (!thread_) return;
    if (!stuck) {
      shared_->quit = true;
      ::SetEvent(shared_->request);
    } else {
      ::TerminateThread(thread_, 1);
    }
    const bool ended = ::WaitForSingleObject(thread_, kEndMilliseconds) == WAIT_OBJECT_0;
    ::CloseHandle(thread_);
    thread_ = nullptr;
    if (!ended) shared_ = nullptr;  // still in use by a thread that has not ended yet
  }

  void Stop() {
    End(false);
    FreeShared();
  }

  void FreeShared() {
    if (!shared_) return;
    if (shared_->request) ::CloseHandle(shared_->request);
    if (shared_->done) ::CloseHandle(shared_->done);
    delete shared_;
    shared_ = nullptr;
  }

  const Native& native_;
  HANDLE thread_ = nullptr;
  Shared* shared_ = nullptr;
};

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

// The identity of the file or folder at `path`, opened as itself for nothing but its
// attributes.
DWORD IdentityOfPath(WStringView path, FileIdentity& identity) {
  const HANDLE handle = ::CreateFileW(
      win32::NativePath(path).c_str(), FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return win32::LastError();
  BY_HANDLE_FILE_INFORMATION info{};
  const DWORD error = ::GetFileInformationByHandle(handle, &info) ? 0 : win32::LastError();
  ::CloseHandle(handle);
  identity = {info.dwVolumeSerialNumber,
              (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  return error;
}

// A copy of a handle of `process` in this process, with the same access.
HANDLE DuplicateInto(HANDLE process, HANDLE value) {
  HANDLE copy = nullptr;
  if (!::DuplicateHandle(process, value, ::GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
    return nullptr;
  return copy;
}

}  // namespace

DWORD FindHandlesOnPath(WStringView path, std::vector<HeldHandle>& handles,
                        const FileIdentity* object) {
  handles.clear();
  const Native native;
  if (!native.complete()) return kNoInterface;
  FileIdentity target;
  if (object)
    target = *object;
  else if (const DWORD error = IdentityOfPath(path, target))
    return error;
  std::vector<BYTE> buffer;
  size_t count = 0;
  if (const DWORD error = QueryTable(native, buffer, count)) return error;
  const auto* table = reinterpret_cast<const ExtendedTable*>(buffer.data());

  IdentityWorker worker(native);
  std::map<USHORT, bool> fileTypes;  // object type index -> is a file
  // Each owning process is opened once, whatever its bitness; null for one that cannot
  // be opened for duplicating its handles, whose handles are skipped.
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
    auto owner = owners.find(processId);
    if (owner == owners.end()) {
      Owner opened;
      opened.process =
          ::OpenProcess(kQueryLimitedInformation | PROCESS_DUP_HANDLE, FALSE, processId);
      if (opened.process) opened.name = ProcessImageName(processId, opened.process);
      owner = owners.emplace(processId, std::move(opened)).first;
    }
    if (!owner->second.process) continue;
    // A copy of the handle, whichever process holds it (this one too), so that what is
    // asked of it never disturbs the original.
    const HANDLE copy = DuplicateInto(owner->second.process, reinterpret_cast<HANDLE>(entry.handle));
    if (!copy) continue;
    const std::optional<bool> isFile = IsFileObject(native, copy);
    if (isFile) fileTypes[entry.objectTypeIndex] = *isFile;
    std::optional<FileIdentity> identity;
    if (isFile.value_or(false)) identity = worker.Identify(copy);
    ::CloseHandle(copy);
    if (identity && *identity == target)
      handles.push_back({processId, static_cast<uint64_t>(entry.handle), owner->second.name,
                         target});
  }
  for (const auto& [processId, owner] : owners)
    if (owner.process) ::CloseHandle(owner.process);
  return 0;
}

CloseResult CloseHandleInProcess(const HeldHandle& handle) {
  const HANDLE process =
      ::OpenProcess(kQueryLimitedInformation | PROCESS_DUP_HANDLE, FALSE, handle.processId);
  if (!process) return {CloseStep::kOpenProcess, win32::LastError()};
  const auto value = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(handle.value));
  CloseResult result{CloseStep::kDone, 0};
  // Just before closing, the handle must still be the one found: a handle closed and its
  // value reused since the table was read is left alone.
  const Native native;
  const HANDLE copy = native.complete() ? DuplicateInto(process, value) : nullptr;
  if (!copy) {
    result = {CloseStep::kConfirm, native.complete() ? win32::LastError() : kNoInterface};
  } else {
    std::optional<FileIdentity> identity;
    {
      IdentityWorker worker(native);
      identity = worker.Identify(copy);
    }
    ::CloseHandle(copy);
    if (!identity || !(*identity == handle.object))
      result = {CloseStep::kConfirm, identity ? DWORD{ERROR_INVALID_HANDLE} : err::kTimeout};
    else if (!::DuplicateHandle(process, value, nullptr, nullptr, 0, FALSE,
                                DUPLICATE_CLOSE_SOURCE))
      result = {CloseStep::kClose, win32::LastError()};
  }
  ::CloseHandle(process);
  return result;
}

}  // namespace orv::os
