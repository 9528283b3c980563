// Helpers for tests of thread suspension: whether a thread of this process sleeps in the host's
// wait call, where a suspended w98 thread waits.
#ifndef W98_TESTS_THREAD_THREAD_TESTING_H
#define W98_TESTS_THREAD_THREAD_TESTING_H

#include <sys/syscall.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "w98/windef.h"

namespace w98::testing {

// Waits up to five seconds for thread `id` to sleep in futex(); true when it does.
inline bool WaitUntilAsleep(DWORD id) {
  const std::string file = "/proc/self/task/" + std::to_string(id) + "/syscall";
  for (int i = 0; i < 5000; ++i) {
    std::ifstream in(file);
    std::string number;
    in >> number;
    if (number == std::to_string(SYS_futex)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

}  // namespace w98::testing

#endif  // W98_TESTS_THREAD_THREAD_TESTING_H
