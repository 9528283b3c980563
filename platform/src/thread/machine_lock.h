// The machine-wide part of a named mutex: one lock per name in the machine's run folder, shared
// by every process of the machine.
//
// Ownership is an exclusive flock on "run/mutex/NAME.lock", whose content records whether the
// owner released it ("free") or not ("owned PID TID"). A process that dies, or a thread that
// ends, while owning the mutex drops the flock without rewriting the content, so the next
// owner sees "owned" and learns that the mutex was abandoned. Existence is a shared flock on
// "run/mutex/NAME.ref" held by every process with a handle open; the first opener (found
// under the exclusive "run/mutex/.guard") resets the state of a name that nobody holds.
#ifndef W98_SRC_THREAD_MACHINE_LOCK_H
#define W98_SRC_THREAD_MACHINE_LOCK_H

#include <filesystem>
#include <memory>
#include <string>

#include "w98/windef.h"

namespace w98::internal {

class MachineLock {
 public:
  // Opens the lock of `name` in `run_folder`; *existed tells whether another process of the
  // machine already had it open. A fresh lock is taken at once for `initial_owner` when that
  // is not 0 (so no other process can slip in between). nullptr (with the last error set)
  // when the files cannot be made.
  static std::unique_ptr<MachineLock> Open(const std::filesystem::path& run_folder,
                                           const std::string& name, DWORD initial_owner,
                                           bool* existed);
  ~MachineLock();
  MachineLock(const MachineLock&) = delete;
  MachineLock& operator=(const MachineLock&) = delete;

  // Takes the lock without blocking. True when taken; *abandoned tells whether the previous
  // owner ended without releasing it. `thread_id` is recorded as the owner.
  bool TryAcquire(DWORD thread_id, bool* abandoned);
  // Gives the lock up as released by its owner.
  void Release();
  // Gives the lock up as abandoned (the owner thread ended without releasing it).
  void Abandon();

  // File name of a mutex name: letters, digits, '-', '_' and '.' kept, other bytes as %XX,
  // long names shortened with a hash. Case is kept (names are case-sensitive).
  static std::string FileNameOf(const std::string& name);

 private:
  MachineLock(int lock_fd, int ref_fd) : lock_fd_(lock_fd), ref_fd_(ref_fd) {}
  void WriteState(const std::string& state);

  int lock_fd_;
  int ref_fd_;
};

}  // namespace w98::internal

#endif  // W98_SRC_THREAD_MACHINE_LOCK_H
