#include "worker_support.h"

namespace snapshot {

NamedMutexHold::NamedMutexHold(const char* name) {
  handle_ = CreateMutexA(nullptr, FALSE, name);
  if (handle_ == nullptr) return;
  const DWORD wait = WaitForSingleObject(handle_, INFINITE);
  owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

NamedMutexHold::~NamedMutexHold() {
  Release();
}

void NamedMutexHold::Release() {
  if (owned_) ReleaseMutex(handle_);
  owned_ = false;
  if (handle_ != nullptr) CloseHandle(handle_);
  handle_ = nullptr;
}

void SendCompletion(HWND window, DWORD code) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(COPYDATASTRUCT));
  if (memory == nullptr) return;
  // Freed also when the thread is stopped inside the send: GlobalFree only releases, so it is
  // safe while the stack unwinds.
  struct Block {
    HGLOBAL memory;
    ~Block() { GlobalFree(memory); }
  } block{memory};
  auto* record = static_cast<COPYDATASTRUCT*>(GlobalLock(memory));
  if (record == nullptr) return;
  record->dwData = code;
  SendMessageA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(record));
  GlobalUnlock(memory);
}

}  // namespace snapshot
