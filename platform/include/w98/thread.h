// w98 extension (not Win32): how a terminated thread stops.
//
// TerminateThread takes effect at the stopped thread's next w98 call (every call is a
// suspension point; CopyFileA is one between its blocks too), or at once when the thread is
// blocked in a w98 wait (WaitForSingleObject, Sleep, GetMessageA, WaitMessage, or SendMessageA
// waiting for its answer). The call throws w98::ThreadTermination, which unwinds the thread's
// stack (running destructors) up to the thread's start routine, where w98 catches it and ends
// the thread with the given exit code.
//
// ThreadTermination deliberately does not derive from std::exception, so `catch (const
// std::exception&)` never stops it. Code that runs on a w98 thread must never swallow it: do not
// write `catch (...)` without rethrowing. While the stack unwinds, w98 calls made by destructors
// do not throw again: calls that release something (CloseHandle, RegCloseKey, FindClose,
// _close, ReleaseMutex, GlobalFree, FreeLibrary) work as usual, and waits return at once with
// WAIT_FAILED (ERROR_OPERATION_ABORTED), so a dying thread never blocks.
//
// Only threads created by CreateThread can be terminated; TerminateThread on any other thread
// (the main thread, a toolkit's threads) fails with ERROR_ACCESS_DENIED, since nothing would
// catch the unwinding there.
#ifndef W98_THREAD_H
#define W98_THREAD_H

#include <w98/windef.h>

namespace w98 {

// Exported with default visibility so that one type crosses every shared library's boundary
// (a worker in the engine library, its start routine's catch in w98).
struct __attribute__((visibility("default"))) ThreadTermination final {
  DWORD exit_code;
};

}  // namespace w98

#endif  // W98_THREAD_H
