// Running one engine worker from a command: the hidden completion window, the start call, and
// a progress line on stderr while the worker runs.
#ifndef QUILLOW_APP_CLI_WORKER_RUN_H
#define QUILLOW_APP_CLI_WORKER_RUN_H

#include <functional>
#include <string>

#include <w98/windows.h>

namespace quillow {

struct WorkerOutcome {
  bool started = false;  // false: see start_status (or error, when no window could be made)
  LONG start_status = 0;
  std::string error;
  DWORD code = 0;  // the completion code when started
  double seconds = 0;
};

// Starts a worker with `start` (given the window that receives its completion) and waits for
// its completion code. While it runs, "<label> (n s)" is shown on stderr: rewritten in place on
// a terminal, a line every few seconds otherwise; `detail`, when given, adds a text to it.
WorkerOutcome RunWorker(const std::function<LONG(HWND)>& start, const std::string& label,
                        const std::function<std::string()>& detail = {});

}  // namespace quillow

#endif  // QUILLOW_APP_CLI_WORKER_RUN_H
