// Modules: "name.dll" is the shared library "libname.so", looked for in the calling program's
// own folder first (as Windows searches the program's folder first), then in the machine's
// host program folder.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <set>

#include "core/api.h"
#include "core/text.h"
#include "w98/machine.h"
#include "w98/winbase.h"

namespace w98::internal {
namespace {

std::mutex g_modules_mutex;
std::multiset<void*> g_modules;  // one entry per successful LoadLibraryA

std::string LibraryFileOf(const std::string& name) {
  std::string base = name.substr(name.find_last_of("\\/:") + 1);
  const size_t dot = base.rfind('.');
  if (dot != std::string::npos) base = base.substr(0, dot);
  for (char& c : base) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return "lib" + base + ".so";
}

std::filesystem::path OwnFolder() {
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return {};
  return std::filesystem::path(std::string(self, static_cast<size_t>(n))).parent_path();
}

}  // namespace
}  // namespace w98::internal

W98API HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  w98::internal::EnterCall();
  if (lpLibFileName == nullptr || *lpLibFileName == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::string file = w98::internal::LibraryFileOf(lpLibFileName);
  for (const std::filesystem::path& folder :
       {w98::internal::OwnFolder(), std::filesystem::path(w98::HostProgramFolder())}) {
    if (folder.empty()) continue;
    const std::filesystem::path candidate = folder / file;
    struct stat st {};
    if (::stat(candidate.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      SetLastError(ERROR_BAD_EXE_FORMAT);
      return nullptr;
    }
    std::lock_guard<std::mutex> lock(w98::internal::g_modules_mutex);
    w98::internal::g_modules.insert(handle);
    return static_cast<HMODULE>(handle);
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

W98API FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  w98::internal::EnterCall();
  {
    std::lock_guard<std::mutex> lock(w98::internal::g_modules_mutex);
    if (hModule == nullptr || w98::internal::g_modules.count(hModule) == 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
  }
  // Exports by ordinal (a name pointer below 0x10000) do not exist for shared libraries.
  if (reinterpret_cast<ULONG_PTR>(lpProcName) < 0x10000) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void* symbol = ::dlsym(hModule, lpProcName);
  if (symbol == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

W98API BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  w98::internal::EnterReleaseCall();
  {
    std::lock_guard<std::mutex> lock(w98::internal::g_modules_mutex);
    auto it = w98::internal::g_modules.find(hLibModule);
    if (it == w98::internal::g_modules.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    w98::internal::g_modules.erase(it);
  }
  ::dlclose(hLibModule);
  return TRUE;
}
