// The copies of a save, made by copier threads of their own while the save goes on recording
// the catalogue, so that copying and catalogue work run side by side. Copies are taken up in
// the order they were handed over, two at a time (a copy spends most of its time in the
// kernel, so two of them use the processor time the catalogue work leaves), and their results
// are taken in that order. At most kDepth copies are outstanding, so what is held does not grow
// with the number of files.
//
// The copiers are w98 threads that the engine suspends, resumes and stops together with the
// save thread. Whatever ends the save (its end, a failure, a stop), the copiers have ended
// before the object goes away, so no copy is ever made after the save's thread has ended.
#ifndef SNAPSHOT_SRC_COPY_THREAD_H
#define SNAPSHOT_SRC_COPY_THREAD_H

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include <w98/windows.h>

namespace snapshot {

class CopyThread {
 public:
  static constexpr size_t kDepth = 32;
  static constexpr size_t kCopiers = 2;

  // One copy: CopyFileA(source, target, fail if it exists).
  struct Job {
    std::string source;
    std::string target;
  };

  // Called with each copier's handle before it runs, and (once) before those handles are
  // closed, so that the engine controls the copiers together with the save thread.
  struct Control {
    std::function<void(HANDLE)> attach;
    std::function<void()> detach;
  };

  CopyThread() = default;
  // Asks the copiers to end after the copies under way and waits until they have ended, also
  // while the calling thread is being stopped.
  ~CopyThread();
  CopyThread(const CopyThread&) = delete;
  CopyThread& operator=(const CopyThread&) = delete;

  // Starts the copiers. When no thread can be created, copies are made by Push itself.
  void Start(const Control& control);

  // Hands over a copy. Take a result first while Full().
  void Push(Job job);
  bool Full() const;
  // True when the oldest outstanding copy has its result.
  bool Ready() const;

  // The result of the oldest outstanding copy (ERROR_SUCCESS or the error of CopyFileA), waiting
  // for it. A copier that ended while that copy had no result was stopped: the calling thread
  // then makes a w98 call, so that a stopped save stops there too, and otherwise gets
  // ERROR_OPERATION_ABORTED.
  DWORD Take();

 private:
  struct State {
    mutable std::mutex mutex;
    std::condition_variable changed;
    // Handed over and not yet taken up by a copier, with their places in the order.
    std::deque<std::pair<std::uint64_t, Job>> jobs;
    // One entry per copy handed over and not yet taken by the save, oldest first: its result
    // once made.
    std::deque<std::optional<DWORD>> results;
    std::uint64_t first = 0;     // the place in the order of results.front()
    size_t made_unseen = 0;      // results made since the save was last woken
    bool stop = false;           // the copiers end after the copies under way
    size_t ended = 0;            // copiers that have ended (also when stopped)
    size_t copiers_waiting = 0;  // copiers waiting for a copy to make
    bool owner_waits = false;    // the save waits for a result
  };
  // What one copier's routine is given.
  struct Copier {
    State* state = nullptr;
    HANDLE thread = nullptr;
    bool ended = false;  // seen to have ended (guarded by the state's mutex)
  };

  // Waits (holding `lock` on the state) until `done`; false when a copier ended first, unless
  // `until_all_ended` (waiting for the copiers' end itself).
  bool WaitUntil(std::unique_lock<std::mutex>& lock, const std::function<bool()>& done,
                 bool until_all_ended = false);
  // Counts the copiers that have ended without marking it (stopped before their routine ran).
  void NoteEndedCopiers();
  static DWORD WINAPI Run(LPVOID parameter);
  static DWORD MakeCopy(const Job& job);

  State state_;  // outlives the copiers: the destructor waits for their end
  std::array<Copier, kCopiers> copiers_{};
  size_t started_ = 0;  // copiers running (0: copies are made by Push)
  Control control_;
};

}  // namespace snapshot

#endif  // SNAPSHOT_SRC_COPY_THREAD_H
