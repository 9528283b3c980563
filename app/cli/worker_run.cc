#include "worker_run.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "completion_window.h"

namespace quillow {

WorkerOutcome RunWorker(const std::function<LONG(HWND)>& start, const std::string& label,
                        const std::function<std::string()>& detail) {
  WorkerOutcome outcome;
  CompletionWindow window;
  if (!window.Start(&outcome.error)) return outcome;
  const auto started = std::chrono::steady_clock::now();
  outcome.start_status = start(window.window());
  if (outcome.start_status != 0) return outcome;
  outcome.started = true;

  const bool terminal = isatty(STDERR_FILENO) != 0;
  auto last_line = started;
  bool shown = false;
  outcome.code = window.Wait(
      [&] {
        const auto now = std::chrono::steady_clock::now();
        // A short run shows nothing; a long one shows it is alive.
        if (now - started < std::chrono::seconds(1)) return;
        if (!terminal && shown && now - last_line < std::chrono::seconds(3)) return;
        last_line = now;
        const double seconds = std::chrono::duration<double>(now - started).count();
        const std::string more = detail ? ": " + detail() : std::string();
        std::fprintf(stderr, "%s%s%s (%.0f s)%s", terminal ? "\r" : "", label.c_str(), more.c_str(),
                     seconds, terminal ? "   " : "\n");
        shown = true;
      },
      250);
  if (shown && terminal) std::fprintf(stderr, "\n");
  outcome.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return outcome;
}

}  // namespace quillow
