// w98 extension (not Win32): how a terminated thread stops.
//
// TerminateThread takes effect at the stopped thread's next w98 call: the call throws
// w98::ThreadTermination, which unwinds the thread's stack (running destructors) up to the
// thread's start routine, where w98 catches it and ends the thread with the given exit code.
// ThreadTermination deliberately does not derive from std::exception, so `catch (const
// std::exception&)` never stops it. Code that runs on a w98 thread must never swallow it: do not
// write `catch (...)` without rethrowing.
#ifndef W98_THREAD_H
#define W98_THREAD_H

#include <w98/windef.h>

namespace w98 {

struct ThreadTermination final {
  DWORD exit_code;
};

}  // namespace w98

#endif  // W98_THREAD_H
