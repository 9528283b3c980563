// The copies of a save, made on a thread of their own while the save goes on recording the
// catalogue, so that copying and catalogue work run side by side. Copies are made in the order
// they were handed over, and their results are taken in that order. At most kDepth copies are
// outstanding, so what is held does not grow with the number of files.
//
// The copier is a w98 thread that the engine suspends, resumes and stops together with the save
// thread. Whatever ends the save (its end, a failure, a stop), the copier has ended before the
// object goes away, so no copy is ever made after the save's thread has ended.
#ifndef SNAPSHOT_SRC_COPY_THREAD_H
#define SNAPSHOT_SRC_COPY_THREAD_H

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include <w98/windows.h>

namespace snapshot {

class CopyThread {
 public:
  static constexpr size_t kDepth = 32;

  // One copy: CopyFileA(source, target, fail if it exists).
  struct Job {
    std::string source;
    std::string target;
  };

  // Called with the copier's handle before it runs, and before that handle is closed, so that
  // the engine controls the copier together with the save thread.
  struct Control {
    std::function<void(HANDLE)> attach;
    std::function<void()> detach;
  };

  CopyThread() = default;
  // Asks the copier to end after the copy under way and waits until it has ended, also while
  // the calling thread is being stopped.
  ~CopyThread();
  CopyThread(const CopyThread&) = delete;
  CopyThread& operator=(const CopyThread&) = delete;

  // Starts the copier. When no thread can be created, copies are made by Push itself.
  void Start(const Control& control);

  // Hands over a copy. Take a result first while Full().
  void Push(Job job);
  // Makes a copy on the calling thread and returns its result. A save whose copier is behind
  // (Full()) makes the next copy itself instead of waiting: the copies are then shared by both
  // threads.
  static DWORD MakeCopy(const Job& job);
  bool Full() const;
  // True when the oldest outstanding copy has its result.
  bool Ready() const;

  // The result of the oldest outstanding copy (ERROR_SUCCESS or the error of CopyFileA), waiting
  // for it. A copier that ended without answering was stopped: the calling thread then makes a
  // w98 call, so that a stopped save stops there too, and otherwise gets
  // ERROR_OPERATION_ABORTED.
  DWORD Take();

 private:
  struct State {
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::deque<Job> jobs;       // handed over, not yet taken up by the copier
    std::deque<DWORD> results;  // made, not yet taken by the save
    size_t outstanding = 0;     // handed over and not yet taken
    bool stop = false;          // the copier ends after the copy under way
    bool ended = false;         // the copier has ended (also when it was stopped)
    // Who waits for `changed` right now: a change wakes only a thread that waits for it.
    bool copier_waits = false;
    bool owner_waits = false;
  };

  // Waits (holding `lock` on the state) until `done`; false when the copier ended first.
  bool WaitUntil(std::unique_lock<std::mutex>& lock, const std::function<bool()>& done);
  static DWORD WINAPI Run(LPVOID parameter);

  State state_;  // outlives the copier: the destructor waits for the copier's end
  HANDLE thread_ = nullptr;
  Control control_;
};

}  // namespace snapshot

#endif  // SNAPSHOT_SRC_COPY_THREAD_H
