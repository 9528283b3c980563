#include "process/boot_log.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "core/machine.h"
#include "process/spawn.h"
#include "w98/session.h"
#include "w98/winbase.h"

namespace w98 {

std::string BootLogFile(bool previous) {
  auto machine = internal::Machine::Current();
  if (!machine) return {};
  return (machine->RunFolder() / (previous ? "boot.prv" : "boot.log")).string();
}

void WriteBootLog(const std::string& text) {
  const std::string path = BootLogFile(false);
  if (path.empty()) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u ", now.wYear, now.wMonth,
                now.wDay, now.wHour, now.wMinute, now.wSecond);
  // Every line gets the stamp; the whole entry goes out in one write, so that entries of
  // processes writing at the same time never interleave.
  std::string entry;
  size_t start = 0;
  do {
    const size_t end = text.find('\n', start);
    entry += stamp + text.substr(start, end == std::string::npos ? end : end - start) + "\n";
    start = end == std::string::npos ? end : end + 1;
  } while (start != std::string::npos && start < text.size());
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  [[maybe_unused]] const ssize_t written = ::write(fd, entry.data(), entry.size());
  ::close(fd);
}

}  // namespace w98

namespace w98::internal {
namespace {

// How long output is still taken after the program ended, from programs it left running.
constexpr std::chrono::milliseconds kLingerAfterEnd{300};

class LineRelay {
 public:
  explicit LineRelay(std::string prefix) : prefix_(std::move(prefix)) {}
  void Take(const char* data, size_t size) {
    pending_.append(data, size);
    size_t end;
    while ((end = pending_.find('\n')) != std::string::npos) {
      Emit(pending_.substr(0, end));
      pending_.erase(0, end + 1);
    }
  }
  void Finish() {
    if (!pending_.empty()) Emit(pending_);
    pending_.clear();
  }

 private:
  void Emit(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    WriteBootLog(prefix_ + line);
  }
  std::string prefix_;
  std::string pending_;
};

}  // namespace

void StartNewBootLog() {
  const std::string log = BootLogFile(false);
  if (log.empty()) return;
  std::rename(log.c_str(), BootLogFile(true).c_str());
}

int OpenBootLogForAppend() {
  const std::string log = BootLogFile(false);
  if (log.empty()) return -1;
  return ::open(log.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
}

DWORD RunLogged(const std::string& command_line, const std::string& folder,
                const std::string& prefix, DWORD* exit_code) {
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) return ERROR_NOT_ENOUGH_MEMORY;
  std::shared_ptr<ProcessObject> process;
  const DWORD error =
      StartCommandLine(nullptr, command_line.c_str(), folder.c_str(), &process, pipe_fds[1]);
  ::close(pipe_fds[1]);
  if (error != ERROR_SUCCESS) {
    ::close(pipe_fds[0]);
    return error;
  }
  LineRelay relay(prefix);
  std::chrono::steady_clock::time_point ended{};
  bool has_ended = false;
  char buffer[4096];
  for (;;) {
    pollfd fd{pipe_fds[0], POLLIN, 0};
    const int ready = ::poll(&fd, 1, 50);
    if (ready > 0) {
      const ssize_t n = ::read(pipe_fds[0], buffer, sizeof buffer);
      if (n > 0) {
        relay.Take(buffer, static_cast<size_t>(n));
        continue;
      }
      if (n == 0) break;  // every writer has closed its end
    }
    if (!has_ended && process->ExitCode() != STILL_ACTIVE) {
      has_ended = true;
      ended = std::chrono::steady_clock::now();
    }
    if (has_ended && std::chrono::steady_clock::now() - ended > kLingerAfterEnd) break;
  }
  ::close(pipe_fds[0]);
  relay.Finish();
  process->Wait(INFINITE);
  *exit_code = process->ExitCode();
  return ERROR_SUCCESS;
}

}  // namespace w98::internal
