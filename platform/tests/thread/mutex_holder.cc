// w98_mutex_holder NAME: creates the named mutex NAME on the machine that W98_MACHINE names,
// takes it, prints "owned" (or "abandoned") and a newline, and then waits until it is killed.
#include <unistd.h>

#include <cstdio>

#include "w98/windows.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  HANDLE mutex = CreateMutexA(nullptr, FALSE, argv[1]);
  if (mutex == nullptr) return 1;
  const DWORD taken = WaitForSingleObject(mutex, INFINITE);
  std::printf("%s\n", taken == WAIT_ABANDONED ? "abandoned" : "owned");
  std::fflush(stdout);
  for (;;) ::pause();
}
