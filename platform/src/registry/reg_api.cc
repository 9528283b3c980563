// The Win32 registry calls, with Windows 98 behaviour: error codes are returned (the last
// error is left alone), bad handles give ERROR_BADKEY, RegDeleteKeyA removes a whole tree, and
// access masks are ignored as Windows 95/98 ignore them.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/api.h"
#include "core/text.h"
#include "registry/registry.h"
#include "w98/winreg.h"

using w98::internal::KeyRef;
using w98::internal::RegKey;
using w98::internal::RegValue;

namespace {

constexpr const char kDefaultUser[] = ".DEFAULT";

std::string_view NameOf(LPCSTR name) {
  return name ? std::string_view(name) : std::string_view();
}

// HKEY_USERS holds only .DEFAULT, which is USER.DAT: rewrites a path below HKEY_USERS into one
// below the user hive's root. False when the path names anything else.
bool EnterUsers(KeyRef& ref, std::vector<std::string_view>& parts) {
  if (!ref.users || parts.empty()) return !ref.users;
  if (!w98::internal::EqualsNoCase(parts.front(), kDefaultUser)) return false;
  parts.erase(parts.begin());
  ref.users = false;
  ref.root = HKEY_CURRENT_USER;
  return true;
}

// Under the hive lock: the live key of a resolved reference, or nullptr when it was deleted.
RegKey* LiveKey(KeyRef& ref) {
  RegKey* key = w98::internal::RootKey(ref);
  return key && !key->removed ? key : nullptr;
}

LONG OpenKey(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  KeyRef ref;
  if (LONG err = w98::internal::ResolveKey(hKey, &ref)) return err;
  const std::string_view sub = NameOf(lpSubKey);
  // Windows 98 refuses a leading backslash here (and accepts it in RegCreateKeyExA).
  if (!sub.empty() && sub.front() == '\\') return ERROR_FILE_NOT_FOUND;
  std::vector<std::string_view> parts;
  if (!w98::internal::SplitKeyPath(sub, &parts)) return ERROR_FILE_NOT_FOUND;
  if (!EnterUsers(ref, parts)) return ERROR_FILE_NOT_FOUND;
  if (ref.users) {
    *phkResult = w98::internal::InsertKeyHandle(ref);
    return ERROR_SUCCESS;
  }
  {
    std::lock_guard<std::mutex> lock(ref.hive->Mutex());
    auto key = LiveKey(ref);
    if (!key) return ERROR_KEY_DELETED;
    ref.key = ref.hive->Find(*key, parts);
    if (!ref.key) return ERROR_FILE_NOT_FOUND;
  }
  // The handle table is never locked under a hive's lock.
  *phkResult = w98::internal::InsertKeyHandle(std::move(ref));
  return ERROR_SUCCESS;
}

LONG CreateKey(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  if (LONG err = w98::internal::ResolveKey(hKey, &ref)) return err;
  std::string_view sub = NameOf(lpSubKey);
  if (!sub.empty() && sub.front() == '\\') sub.remove_prefix(1);
  std::vector<std::string_view> parts;
  if (!w98::internal::SplitKeyPath(sub, &parts)) return ERROR_INVALID_PARAMETER;
  if (!EnterUsers(ref, parts)) return ERROR_ACCESS_DENIED;
  if (ref.users) {
    *phkResult = w98::internal::InsertKeyHandle(ref);
    if (lpdwDisposition) *lpdwDisposition = REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
  }
  bool created = false;
  {
    std::lock_guard<std::mutex> lock(ref.hive->Mutex());
    auto key = LiveKey(ref);
    if (!key) return ERROR_KEY_DELETED;
    ref.key = ref.hive->Create(*key, parts, &created);
  }
  *phkResult = w98::internal::InsertKeyHandle(std::move(ref));
  if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

// Copies a name into a caller's buffer of `count` characters (NUL included).
void CopyName(const std::string& name, LPSTR buffer, size_t count) {
  const size_t n = std::min(name.size(), count - 1);
  std::memcpy(buffer, name.data(), n);
  buffer[n] = '\0';
}

}  // namespace

W98API LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
  w98::internal::EnterCall();
  return OpenKey(hKey, lpSubKey, phkResult);
}

W98API LONG WINAPI RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
  w98::internal::EnterCall();
  if (phkResult != nullptr && (lpSubKey == nullptr || *lpSubKey == '\0')) {
    // The old call hands back the very handle it was given.
    KeyRef ref;
    if (LONG err = w98::internal::ResolveKey(hKey, &ref)) return err;
    *phkResult = hKey;
    return ERROR_SUCCESS;
  }
  return OpenKey(hKey, lpSubKey, phkResult);
}

W98API LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM,
                                   LPSECURITY_ATTRIBUTES, PHKEY phkResult,
                                   LPDWORD lpdwDisposition) {
  w98::internal::EnterCall();
  return CreateKey(hKey, lpSubKey, phkResult, lpdwDisposition);
}

W98API LONG WINAPI RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
  w98::internal::EnterCall();
  if (phkResult != nullptr && (lpSubKey == nullptr || *lpSubKey == '\0')) {
    KeyRef ref;
    if (LONG err = w98::internal::ResolveKey(hKey, &ref)) return err;
    *phkResult = hKey;
    return ERROR_SUCCESS;
  }
  return CreateKey(hKey, lpSubKey, phkResult, nullptr);
}

W98API LONG WINAPI RegCloseKey(HKEY hKey) {
  w98::internal::EnterReleaseCall();
  if (w98::internal::RootName(hKey) != nullptr) return ERROR_SUCCESS;
  if (hKey == nullptr) return ERROR_BADKEY;
  return w98::internal::CloseKeyHandle(hKey);
}

W98API LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType,
                                    LPBYTE lpData, LPDWORD lpcbData) {
  w98::internal::EnterCall();
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  if (LONG err = w98::internal::ResolveKey(hKey, &ref)) return err;
  const RegValue* value = nullptr;
  std::lock_guard<std::mutex> lock(ref.hive->Mutex());
  if (!ref.users) {
    auto key = LiveKey(ref);
    if (!key) return ERROR_KEY_DELETED;
    value = key->FindValue(NameOf(lpValueName));
  }
  if (value == nullptr) {
    // Windows 98 clears the type and leaves the size alone.
    if (lpType) *lpType = REG_NONE;
    return ERROR_FILE_NOT_FOUND;
  }
  const auto size = static_cast<DWORD>(value->data.size());
  if (lpType) *lpType = value->type;
  if (lpData != nullptr) {
    if (*lpcbData < size) {
      *lpcbData = size;
      return ERROR_MORE_DATA;
    }
    std::memcpy(lpData, value->data.data(), size);
  }
  if (lpcbData) *lpcbData = size;
  return ERROR_SUCCESS;
}

W98API LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType,
                                  const BYTE* lpData, DWORD cbData) {
  w98::internal::EnterCall();
  std::string_view bytes;
  if (dwType == REG_SZ) {
    if (lpData == nullptr) return ERROR_INVALID_PARAMETER;
    // Windows 98 stores the whole string with its NUL, whatever cbData says.
    const char* text = reinterpret_cast<const char*>(lpData);
    bytes = std::string_view(text, std::strlen(text) + 1);
  } else {
    if (lpData == nullptr && cbData != 0) return ERROR_INVALID_PARAMETER;
    bytes = std::string_view(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0);
  }
  KeyRef ref;
  if (LONG err = w98::internal::ResolveKey(hKey, &ref)) return err;
  if (ref.users) return ERROR_ACCESS_DENIED;
  std::lock_guard<std::mutex> lock(ref.hive->Mutex());
  auto key = LiveKey(ref);
  if (!key) return ERROR_KEY_DELETED;
  ref.hive->SetValue(*key, NameOf(lpValueName), dwType, bytes);
  return ERROR_SUCCESS;
}

W98API LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  w98::internal::EnterCall();
  KeyRef ref;
  if (LONG err = w98::internal::ResolveKey(hKey, &ref)) return err;
  if (ref.users) return ERROR_FILE_NOT_FOUND;
  std::lock_guard<std::mutex> lock(ref.hive->Mutex());
  auto key = LiveKey(ref);
  if (!key) return ERROR_KEY_DELETED;
  return ref.hive->DeleteValue(*key, NameOf(lpValueName)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

W98API LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  w98::internal::EnterCall();
  KeyRef ref;
  if (LONG err = w98::internal::ResolveKey(hKey, &ref)) return err;
  // Windows 95/98 refuse to delete the key of the handle itself.
  if (lpSubKey == nullptr || *lpSubKey == '\0') return ERROR_BADKEY;
  if (*lpSubKey == '\\') return ERROR_FILE_NOT_FOUND;
  std::vector<std::string_view> parts;
  if (!w98::internal::SplitKeyPath(lpSubKey, &parts) || parts.empty()) return ERROR_FILE_NOT_FOUND;
  if (!EnterUsers(ref, parts)) return ERROR_FILE_NOT_FOUND;
  if (parts.empty()) return ERROR_ACCESS_DENIED;  // HKEY_USERS\.DEFAULT itself
  std::lock_guard<std::mutex> lock(ref.hive->Mutex());
  auto key = LiveKey(ref);
  if (!key) return ERROR_KEY_DELETED;
  auto doomed = ref.hive->Find(*key, parts);
  if (!doomed) return ERROR_FILE_NOT_FOUND;
  ref.hive->DeleteTree(*doomed);
  return ERROR_SUCCESS;
}

W98API LONG WINAPI RegFlushKey(HKEY hKey) {
  w98::internal::EnterCall();
  KeyRef ref;
  if (LONG err = w98::internal::ResolveKey(hKey, &ref)) return err;
  return ref.hive->Commit();
}

W98API LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD,
                                 LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  w98::internal::EnterCall();
  if (lpName == nullptr || lpcchName == nullptr) return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  if (LONG err = w98::internal::ResolveKey(hKey, &ref)) return err;
  std::string name;
  {
    std::lock_guard<std::mutex> lock(ref.hive->Mutex());
    if (ref.users) {
      if (dwIndex > 0) return ERROR_NO_MORE_ITEMS;
      name = kDefaultUser;
    } else {
      auto key = LiveKey(ref);
      if (!key) return ERROR_KEY_DELETED;
      if (dwIndex >= key->children.size()) return ERROR_NO_MORE_ITEMS;
      name = key->children[dwIndex]->name;
    }
  }
  // Too small a buffer: nothing is copied.
  if (*lpcchName <= name.size()) return ERROR_MORE_DATA;
  CopyName(name, lpName, *lpcchName);
  *lpcchName = static_cast<DWORD>(name.size());
  if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0) *lpClass = '\0';
  if (lpcchClass != nullptr) *lpcchClass = 0;
  if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = FILETIME{0, 0};
  return ERROR_SUCCESS;
}

W98API LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName,
                                 LPDWORD lpcchValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                                 LPDWORD lpcbData) {
  w98::internal::EnterCall();
  if (lpValueName == nullptr || lpcchValueName == nullptr) return ERROR_INVALID_PARAMETER;
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  if (LONG err = w98::internal::ResolveKey(hKey, &ref)) return err;
  if (ref.users) return ERROR_NO_MORE_ITEMS;
  std::lock_guard<std::mutex> lock(ref.hive->Mutex());
  auto key = LiveKey(ref);
  if (!key) return ERROR_KEY_DELETED;
  if (dwIndex >= key->values.size()) return ERROR_NO_MORE_ITEMS;
  const RegValue& value = key->values[dwIndex];
  LONG result = ERROR_SUCCESS;
  if (*lpcchValueName <= value.name.size()) {
    // Windows 98 copies as much of the name as fits and says how much that was.
    if (*lpcchValueName > 0) {
      CopyName(value.name, lpValueName, *lpcchValueName);
      *lpcchValueName -= 1;
    }
    result = ERROR_MORE_DATA;
  } else {
    CopyName(value.name, lpValueName, *lpcchValueName);
    *lpcchValueName = static_cast<DWORD>(value.name.size());
  }
  if (lpType) *lpType = value.type;
  const auto size = static_cast<DWORD>(value.data.size());
  if (lpData != nullptr) {
    if (*lpcbData < size) {
      result = ERROR_MORE_DATA;
    } else {
      std::memcpy(lpData, value.data.data(), size);
    }
  }
  if (lpcbData) *lpcbData = size;
  return result;
}

W98API LONG WINAPI RegQueryMultipleValuesA(HKEY hKey, PVALENTA val_list, DWORD num_vals,
                                           LPSTR lpValueBuf, LPDWORD ldwTotsize) {
  w98::internal::EnterCall();
  if (ldwTotsize == nullptr || (val_list == nullptr && num_vals != 0))
    return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  if (LONG err = w98::internal::ResolveKey(hKey, &ref)) return err;
  std::lock_guard<std::mutex> lock(ref.hive->Mutex());
  RegKey* key = nullptr;
  if (!ref.users) {  // HKEY_USERS itself holds no values
    key = LiveKey(ref);
    if (!key) return ERROR_KEY_DELETED;
  }
  // Every value is found, and the total known, before anything is written.
  constexpr DWORD kOnStack = 32;
  const RegValue* on_stack[kOnStack];
  std::vector<const RegValue*> on_heap;
  const RegValue** found = on_stack;
  if (num_vals > kOnStack) {
    on_heap.resize(num_vals);
    found = on_heap.data();
  }
  std::uint64_t total = 0;
  for (DWORD i = 0; i < num_vals; ++i) {
    found[i] = key ? key->FindValue(NameOf(val_list[i].ve_valuename)) : nullptr;
    if (found[i] == nullptr) return ERROR_FILE_NOT_FOUND;
    total += found[i]->data.size();
  }
  if (total > UINT32_MAX) return ERROR_TRANSFER_TOO_LONG;
  const auto needed = static_cast<DWORD>(total);
  if (lpValueBuf == nullptr || *ldwTotsize < needed) {
    // Without a buffer only the size is asked for (Windows 98 calls that a success).
    const LONG result = lpValueBuf == nullptr ? ERROR_SUCCESS : ERROR_MORE_DATA;
    *ldwTotsize = needed;
    return result;
  }
  char* at = lpValueBuf;
  for (DWORD i = 0; i < num_vals; ++i) {
    const RegValue& value = *found[i];
    const auto size = static_cast<DWORD>(value.data.size());
    if (size != 0) std::memcpy(at, value.data.data(), size);
    val_list[i].ve_valuelen = size;
    val_list[i].ve_valueptr = reinterpret_cast<DWORD_PTR>(at);
    val_list[i].ve_type = value.type;
    at += size;
  }
  *ldwTotsize = needed;
  return ERROR_SUCCESS;
}

W98API LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD,
                                    LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen,
                                    LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                    LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                    LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
  w98::internal::EnterCall();
  KeyRef ref;
  if (LONG err = w98::internal::ResolveKey(hKey, &ref)) return err;
  DWORD subkeys = 0, max_subkey = 0, values = 0, max_name = 0, max_data = 0;
  {
    std::lock_guard<std::mutex> lock(ref.hive->Mutex());
    if (ref.users) {
      subkeys = 1;
      max_subkey = sizeof kDefaultUser - 1;
    } else {
      auto key = LiveKey(ref);
      if (!key) return ERROR_KEY_DELETED;
      subkeys = static_cast<DWORD>(key->children.size());
      for (const auto& child : key->children)
        max_subkey = std::max(max_subkey, static_cast<DWORD>(child->name.size()));
      values = static_cast<DWORD>(key->values.size());
      for (const auto& v : key->values) {
        max_name = std::max(max_name, static_cast<DWORD>(v.name.size()));
        max_data = std::max(max_data, static_cast<DWORD>(v.data.size()));
      }
    }
  }
  if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0) *lpClass = '\0';
  if (lpcchClass) *lpcchClass = 0;
  if (lpcSubKeys) *lpcSubKeys = subkeys;
  if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = max_subkey;
  if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
  if (lpcValues) *lpcValues = values;
  if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = max_name;
  if (lpcbMaxValueLen) *lpcbMaxValueLen = max_data;
  if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
  if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
  return ERROR_SUCCESS;
}
