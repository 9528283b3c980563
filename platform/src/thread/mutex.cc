#include "thread/mutex.h"

#include <unordered_map>

#include "core/api.h"
#include "core/machine.h"
#include "thread/thread_state.h"
#include "w98/winbase.h"

namespace w98::internal {
namespace {

struct NameTable {
  std::mutex mutex;
  std::unordered_map<std::string, std::weak_ptr<Mutex>> mutexes;
};

NameTable& Names() {
  static NameTable* table = new NameTable;
  return *table;
}

// How long a waiter sleeps between looks at a lock that another process holds.
constexpr std::chrono::milliseconds kPollInterval{2};

}  // namespace

Mutex::Mutex(std::string key, std::unique_ptr<MachineLock> lock)
    : key_(std::move(key)), lock_(std::move(lock)) {}

Mutex::~Mutex() {
  if (key_.empty()) return;
  NameTable& t = Names();
  std::lock_guard<std::mutex> guard(t.mutex);
  auto it = t.mutexes.find(key_);
  if (it != t.mutexes.end() && it->second.expired()) t.mutexes.erase(it);
}

DWORD Mutex::TryTake(ThreadState& self) {
  if (owner_ == &self) {
    ++recursion_;
    return WAIT_OBJECT_0;
  }
  if (owner_ != nullptr) return kStillWaiting;
  bool abandoned = abandoned_;
  if (lock_ && !lock_->TryAcquire(self.Id(), &abandoned)) return kStillWaiting;
  owner_ = &self;
  recursion_ = 1;
  abandoned_ = false;
  self.NoteOwned(shared_from_this());
  return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

DWORD Mutex::Wait(DWORD milliseconds) {
  ThreadState& self = ThreadState::Current();
  return WaitUntil(
      mutex_, waiters_, DeadlineAfter(milliseconds), [&] { return TryTake(self); },
      lock_ ? kPollInterval : std::chrono::milliseconds::zero());
}

bool Mutex::Release() {
  ThreadState& self = ThreadState::Current();
  std::lock_guard<std::mutex> guard(mutex_);
  if (owner_ != &self) {
    SetLastError(ERROR_NOT_OWNER);
    return false;
  }
  if (--recursion_ > 0) return true;
  owner_ = nullptr;
  self.ForgetOwned(this);
  if (lock_) lock_->Release();
  waiters_.WakeAll();
  return true;
}

void Mutex::Abandon(ThreadState* thread) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (owner_ != thread) return;
  owner_ = nullptr;
  recursion_ = 0;
  if (lock_) {
    lock_->Abandon();
  } else {
    abandoned_ = true;
  }
  waiters_.WakeAll();
}

void Mutex::TakeFresh() {
  ThreadState& self = ThreadState::Current();
  std::lock_guard<std::mutex> guard(mutex_);
  owner_ = &self;
  recursion_ = 1;
  self.NoteOwned(shared_from_this());
}

std::shared_ptr<Mutex> OpenNamedMutex(const std::string& name, bool initial_owner, bool* existed) {
  auto machine = Machine::Current();
  const std::string folder = machine ? machine->RunFolder().string() : std::string();
  const std::string key = folder + '\0' + name;
  NameTable& t = Names();
  std::lock_guard<std::mutex> guard(t.mutex);
  if (auto it = t.mutexes.find(key); it != t.mutexes.end()) {
    if (auto mutex = it->second.lock()) {
      *existed = true;
      return mutex;
    }
  }
  std::unique_ptr<MachineLock> lock;
  *existed = false;
  if (machine) {
    const DWORD owner = initial_owner ? ThreadState::Current().Id() : 0;
    lock = MachineLock::Open(folder, name, owner, existed);
    if (!lock) return nullptr;
  }
  auto mutex = std::make_shared<Mutex>(key, std::move(lock));
  t.mutexes[key] = mutex;
  if (initial_owner && !*existed) mutex->TakeFresh();
  return mutex;
}

}  // namespace w98::internal

using w98::internal::EnterCall;

W98API HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCSTR lpName) {
  EnterCall();
  std::shared_ptr<w98::internal::Mutex> mutex;
  bool existed = false;
  if (lpName != nullptr && *lpName != '\0') {
    if (std::char_traits<char>::length(lpName) > MAX_PATH) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return nullptr;
    }
    mutex = w98::internal::OpenNamedMutex(lpName, bInitialOwner != FALSE, &existed);
    if (!mutex) return nullptr;
  } else {
    mutex = std::make_shared<w98::internal::Mutex>(std::string(), nullptr);
    if (bInitialOwner) mutex->TakeFresh();
  }
  HANDLE handle = w98::internal::InsertHandle(mutex);
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

W98API BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
  w98::internal::EnterReleaseCall();
  auto mutex = w98::internal::LookupHandleAs<w98::internal::Mutex>(hMutex);
  if (!mutex) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return mutex->Release() ? TRUE : FALSE;
}
