// A mutex for short critical sections that threads enter all the time: a thread that finds it
// held spins for a moment before sleeping, as the holder is usually about to leave. Path
// resolution's caches hold their lock for a system call or two, and two threads resolving
// paths at once would otherwise put each other to sleep and wake each other up (two more
// system calls and a context switch) at nearly every call.
#ifndef W98_SRC_CORE_ADAPTIVE_MUTEX_H
#define W98_SRC_CORE_ADAPTIVE_MUTEX_H

#include <pthread.h>

namespace w98::internal {

// Meets the Lockable requirements, so std::lock_guard and std::unique_lock work with it.
class AdaptiveMutex {
 public:
  AdaptiveMutex() {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_ADAPTIVE_NP);
    pthread_mutex_init(&mutex_, &attr);
    pthread_mutexattr_destroy(&attr);
  }
  ~AdaptiveMutex() { pthread_mutex_destroy(&mutex_); }
  AdaptiveMutex(const AdaptiveMutex&) = delete;
  AdaptiveMutex& operator=(const AdaptiveMutex&) = delete;

  void lock() { pthread_mutex_lock(&mutex_); }
  bool try_lock() { return pthread_mutex_trylock(&mutex_) == 0; }
  void unlock() { pthread_mutex_unlock(&mutex_); }

 private:
  pthread_mutex_t mutex_;
};

}  // namespace w98::internal

#endif  // W98_SRC_CORE_ADAPTIVE_MUTEX_H
