// The library's 32-bit values under HKEY_LOCAL_MACHINE. The registry calls return their
// error themselves rather than through GetLastError.
#include "platform/process.h"
#include "platform/win32/native.h"

namespace orv::os {

namespace {

// Closes a key when the operation ends.
class Key {
 public:
  Key() = default;
  ~Key() {
    if (key_ != nullptr) ::RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;

  HKEY* Receive() { return &key_; }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

DWORD ReadRegistryDword(WStringView key, WStringView value, DWORD& data) {
  Key opened;
  if (const LONG error = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, WString(key).c_str(), 0,
                                         KEY_QUERY_VALUE, opened.Receive()))
    return static_cast<DWORD>(error);
  DWORD type = REG_NONE;
  DWORD number = 0;
  DWORD size = sizeof number;
  if (const LONG error = ::RegQueryValueExW(opened.Get(), WString(value).c_str(), nullptr, &type,
                                            reinterpret_cast<BYTE*>(&number), &size))
    return static_cast<DWORD>(error);
  // A value of another type is not a number of ours, whatever its first bytes hold.
  if (type != REG_DWORD || size != sizeof number) return err::kInvalidData;
  data = number;
  return err::kSuccess;
}

DWORD WriteRegistryDword(WStringView key, WStringView value, DWORD data) {
  Key created;
  if (const LONG error = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, WString(key).c_str(), 0, nullptr,
                                           REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                                           created.Receive(), nullptr))
    return static_cast<DWORD>(error);
  if (const LONG error = ::RegSetValueExW(created.Get(), WString(value).c_str(), 0, REG_DWORD,
                                         reinterpret_cast<const BYTE*>(&data), sizeof data))
    return static_cast<DWORD>(error);
  // A value another process waits for is on its way to the disk before the work starts.
  return static_cast<DWORD>(::RegFlushKey(created.Get()));
}

DWORD DeleteRegistryValue(WStringView key, WStringView value) {
  Key opened;
  if (const LONG error = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, WString(key).c_str(), 0,
                                         KEY_SET_VALUE, opened.Receive()))
    return static_cast<DWORD>(error);
  if (const LONG error = ::RegDeleteValueW(opened.Get(), WString(value).c_str()))
    return static_cast<DWORD>(error);
  return static_cast<DWORD>(::RegFlushKey(opened.Get()));
}

bool RegistryKeyExists(WStringView key) {
  Key opened;
  const LONG error = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, WString(key).c_str(), 0, KEY_QUERY_VALUE,
                                     opened.Receive());
  // A key the caller may not read is there all the same.
  return error == ERROR_SUCCESS || error == ERROR_ACCESS_DENIED;
}

}  // namespace orv::os
