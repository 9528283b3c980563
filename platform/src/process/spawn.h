// Started programs: the handle object of a child process, and the way w98 starts one.
#ifndef W98_SRC_PROCESS_SPAWN_H
#define W98_SRC_PROCESS_SPAWN_H

#include <sys/types.h>

#include <memory>
#include <mutex>
#include <string>

#include "core/handles.h"
#include "process/program_search.h"
#include "thread/thread_state.h"

namespace w98::internal {

// A child process; signalled when it has ended. Usable from any thread.
class ProcessObject final : public KernelObject {
 public:
  explicit ProcessObject(pid_t pid) : pid_(pid) {}
  pid_t pid() const { return pid_; }
  DWORD Wait(DWORD milliseconds) override;
  // STILL_ACTIVE while it runs, then its exit code.
  DWORD ExitCode();
  void End(DWORD exit_code);

 private:
  const pid_t pid_;
  std::mutex mutex_;
  WaitList waiters_;
  bool ended_ = false;
  DWORD exit_code_ = 0;
};

// Starts a program found by FindProgram with the Windows command line `command_line`, whose
// arguments after the program's name are `arguments`, in `current_folder` (a DOS folder; null
// or empty: the caller's). The program shares the caller's standard streams, unless `output`
// is a descriptor: then its standard output and standard error go there and its standard input
// reads nothing. ERROR_SUCCESS and *started, or the error.
DWORD StartImage(const ProgramImage& image, const std::string& command_line,
                 const std::string& arguments, const char* current_folder,
                 std::shared_ptr<ProcessObject>* started, int output = -1);

// Starts a program as CreateProcessA does: `application` names it, else the command line's
// first token does (an unquoted name with blanks is tried at each blank). `output` as above.
DWORD StartCommandLine(const char* application, const char* command_line,
                       const char* current_folder, std::shared_ptr<ProcessObject>* started,
                       int output = -1);

}  // namespace w98::internal

#endif  // W98_SRC_PROCESS_SPAWN_H
