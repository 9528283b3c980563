// Global memory blocks. A fixed block's handle is its address; a movable block's handle is a
// separate value whose GlobalLock yields the address (blocks never move here, but the lock
// count is kept as Windows keeps it).
#include <cstdlib>
#include <mutex>
#include <unordered_map>

#include "core/api.h"
#include "w98/winbase.h"

namespace w98::internal {
namespace {

struct Block {
  void* data;
  SIZE_T size;
  bool movable;
  DWORD locks = 0;
};

struct Blocks {
  std::mutex mutex;
  std::unordered_map<HGLOBAL, Block> by_handle;
};

Blocks& All() {
  static Blocks* blocks = new Blocks;
  return *blocks;
}

}  // namespace
}  // namespace w98::internal

using w98::internal::All;
using w98::internal::Block;

W98API HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
  w98::internal::EnterCall();
  const SIZE_T bytes = dwBytes == 0 ? 1 : dwBytes;
  void* data = (uFlags & GMEM_ZEROINIT) ? std::calloc(1, bytes) : std::malloc(bytes);
  if (data == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  const bool movable = (uFlags & GMEM_MOVEABLE) != 0;
  // A movable block's handle: the address of a small record of its own, never the data.
  HGLOBAL handle = movable ? static_cast<HGLOBAL>(new char) : data;
  auto& blocks = All();
  std::lock_guard<std::mutex> lock(blocks.mutex);
  blocks.by_handle[handle] = Block{data, dwBytes, movable};
  return handle;
}

W98API LPVOID WINAPI GlobalLock(HGLOBAL hMem) {
  w98::internal::EnterCall();
  auto& blocks = All();
  std::lock_guard<std::mutex> lock(blocks.mutex);
  auto it = blocks.by_handle.find(hMem);
  if (it == blocks.by_handle.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (it->second.movable) ++it->second.locks;
  return it->second.data;
}

W98API BOOL WINAPI GlobalUnlock(HGLOBAL hMem) {
  w98::internal::EnterCall();
  auto& blocks = All();
  std::lock_guard<std::mutex> lock(blocks.mutex);
  auto it = blocks.by_handle.find(hMem);
  if (it == blocks.by_handle.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Block& block = it->second;
  if (block.movable && block.locks > 0) --block.locks;
  if (block.locks > 0) return TRUE;
  SetLastError(NO_ERROR);
  return FALSE;
}

W98API HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
  w98::internal::EnterReleaseCall();
  Block block;
  {
    auto& blocks = All();
    std::lock_guard<std::mutex> lock(blocks.mutex);
    auto it = blocks.by_handle.find(hMem);
    if (it == blocks.by_handle.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return hMem;
    }
    block = it->second;
    blocks.by_handle.erase(it);
  }
  std::free(block.data);
  if (block.movable) delete static_cast<char*>(hMem);
  return nullptr;
}

W98API SIZE_T WINAPI GlobalSize(HGLOBAL hMem) {
  w98::internal::EnterCall();
  auto& blocks = All();
  std::lock_guard<std::mutex> lock(blocks.mutex);
  auto it = blocks.by_handle.find(hMem);
  if (it == blocks.by_handle.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return it->second.size;
}
