// Thread calls: creation, suspension, termination, exit codes, priorities, Sleep and waits.
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>

#include "core/api.h"
#include "thread/thread_state.h"
#include "w98/thread.h"
#include "w98/winbase.h"

namespace w98::internal {
namespace {

// What a new thread needs; shared between the creator and the thread.
struct StartBlock {
  std::shared_ptr<ThreadState> state;
  LPTHREAD_START_ROUTINE routine;
  LPVOID parameter;
  std::mutex mutex;
  std::condition_variable started;
};

void* RunThread(void* argument) {
  auto* handed = static_cast<std::shared_ptr<StartBlock>*>(argument);
  std::shared_ptr<StartBlock> keep = std::move(*handed);
  delete handed;
  std::shared_ptr<ThreadState> state = keep->state;
  ThreadState::Adopt(state);
  {
    std::lock_guard<std::mutex> lock(keep->mutex);
    state->AssignId(static_cast<DWORD>(::syscall(SYS_gettid)));
  }
  keep->started.notify_all();
  DWORD exit_code = 0;
  try {
    // A thread created suspended waits here; one stopped before it ran never runs.
    state->CheckPoint(true);
    exit_code = keep->routine(keep->parameter);
  } catch (const ThreadTermination& termination) {
    exit_code = termination.exit_code;
  }
  state->Finish(exit_code);
  return nullptr;
}

bool IsValidPriority(int priority) {
  switch (priority) {
    case THREAD_PRIORITY_IDLE:
    case THREAD_PRIORITY_LOWEST:
    case THREAD_PRIORITY_BELOW_NORMAL:
    case THREAD_PRIORITY_NORMAL:
    case THREAD_PRIORITY_ABOVE_NORMAL:
    case THREAD_PRIORITY_HIGHEST:
    case THREAD_PRIORITY_TIME_CRITICAL:
      return true;
    default:
      return false;
  }
}

// Lowered priorities become host niceness; raised ones keep the host's normal scheduling
// (raising would need privileges a program of the machine should not use).
int NicenessOf(int priority) {
  switch (priority) {
    case THREAD_PRIORITY_IDLE:
      return 19;
    case THREAD_PRIORITY_LOWEST:
      return 10;
    case THREAD_PRIORITY_BELOW_NORMAL:
      return 5;
    default:
      return 0;
  }
}

}  // namespace
}  // namespace w98::internal

using w98::internal::EnterCall;
using w98::internal::ThreadFromHandle;
using w98::internal::ThreadState;

W98API HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T dwStackSize,
                                  LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                                  DWORD dwCreationFlags, LPDWORD lpThreadId) {
  EnterCall();
  if (lpStartAddress == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto block = std::make_shared<w98::internal::StartBlock>();
  block->state = std::make_shared<ThreadState>(0, true);
  block->routine = lpStartAddress;
  block->parameter = lpParameter;
  if (dwCreationFlags & CREATE_SUSPENDED) block->state->Suspend();

  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  if (dwStackSize != 0) {
    const SIZE_T minimum = PTHREAD_STACK_MIN > 65536 ? PTHREAD_STACK_MIN : 65536;
    pthread_attr_setstacksize(&attributes, dwStackSize < minimum ? minimum : dwStackSize);
  }
  pthread_t thread;
  auto* argument = new std::shared_ptr<w98::internal::StartBlock>(block);
  const int rc = pthread_create(&thread, &attributes, w98::internal::RunThread, argument);
  pthread_attr_destroy(&attributes);
  if (rc != 0) {
    delete argument;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  {
    std::unique_lock<std::mutex> lock(block->mutex);
    block->started.wait(lock, [&] { return block->state->Id() != 0; });
  }
  if (lpThreadId != nullptr) *lpThreadId = block->state->Id();
  return w98::internal::InsertHandle(block->state);
}

W98API BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority) {
  EnterCall();
  auto thread = ThreadFromHandle(hThread);
  if (!thread) return FALSE;
  if (!w98::internal::IsValidPriority(nPriority)) {
    SetLastError(ERROR_INVALID_PRIORITY);
    return FALSE;
  }
  thread->set_priority(nPriority);
  if (!thread->Finished())
    (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(thread->Id()),
                        w98::internal::NicenessOf(nPriority));
  return TRUE;
}

W98API int WINAPI GetThreadPriority(HANDLE hThread) {
  EnterCall();
  auto thread = ThreadFromHandle(hThread);
  return thread ? thread->priority() : INT_MAX;  // THREAD_PRIORITY_ERROR_RETURN
}

W98API DWORD WINAPI SuspendThread(HANDLE hThread) {
  EnterCall();
  auto thread = ThreadFromHandle(hThread);
  if (!thread) return 0xFFFFFFFF;
  const DWORD previous = thread->Suspend();
  // Suspending oneself takes effect at once, as the call is itself a suspension point.
  if (previous != 0xFFFFFFFF && thread.get() == ThreadState::CurrentIfKnown())
    thread->CheckPoint(true);
  return previous;
}

W98API DWORD WINAPI ResumeThread(HANDLE hThread) {
  EnterCall();
  auto thread = ThreadFromHandle(hThread);
  return thread ? thread->Resume() : 0xFFFFFFFF;
}

W98API BOOL WINAPI TerminateThread(HANDLE hThread, DWORD dwExitCode) {
  EnterCall();
  auto thread = ThreadFromHandle(hThread);
  if (!thread || !thread->RequestTermination(dwExitCode)) return FALSE;
  if (thread.get() == ThreadState::CurrentIfKnown()) thread->ThrowIfTerminated();
  return TRUE;
}

W98API BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  EnterCall();
  auto thread = ThreadFromHandle(hThread);
  if (!thread) return FALSE;
  if (lpExitCode == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpExitCode = thread->ExitCode();
  return TRUE;
}

W98API void WINAPI ExitThread(DWORD dwExitCode) {
  EnterCall();
  ThreadState& self = ThreadState::Current();
  if (self.CreatedByW98()) throw w98::ThreadTermination{dwExitCode};
  self.Finish(dwExitCode);
  pthread_exit(nullptr);
}

W98API DWORD WINAPI GetCurrentThreadId(void) {
  EnterCall();
  return ThreadState::Current().Id();
}

W98API HANDLE WINAPI GetCurrentThread(void) {
  return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));
}

W98API void WINAPI Sleep(DWORD dwMilliseconds) {
  EnterCall();
  ThreadState& self = ThreadState::Current();
  if (dwMilliseconds == 0) {
    sched_yield();
    return;
  }
  const w98::internal::Deadline deadline = w98::internal::DeadlineAfter(dwMilliseconds);
  for (;;) {
    const auto parked = self.Park(deadline);
    if (parked == w98::internal::ParkResult::kTimedOut) break;
    if (parked == w98::internal::ParkResult::kTerminated) {
      self.ThrowIfTerminated();
      return;
    }
  }
  self.CheckPoint(false);
}

W98API DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  EnterCall();
  std::shared_ptr<w98::internal::KernelObject> object;
  if (hHandle == GetCurrentThread()) {
    object = ThreadState::CurrentShared();
  } else {
    object = w98::internal::LookupHandle(hHandle);
  }
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  const DWORD result = object->Wait(dwMilliseconds);
  // A thread suspended while it waited stops before returning to its own code.
  if (auto* self = ThreadState::CurrentIfKnown(); self != nullptr && self->NeedsAttention())
    self->CheckPoint(false);
  return result;
}
