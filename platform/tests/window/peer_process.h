// A helper program started for a test (w98_window_peer, w98_mutex_holder ...): its output is
// read line by line, and it is killed when the object goes.
#ifndef W98_TESTS_WINDOW_PEER_PROCESS_H
#define W98_TESTS_WINDOW_PEER_PROCESS_H

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "temp_machine.h"

extern char** environ;

namespace w98::testing {

class PeerProcess {
 public:
  // Starts PROGRAM (a name in the build's bin folder) with `args`, in the current
  // environment (W98_MACHINE included).
  PeerProcess(const std::string& program, const std::vector<std::string>& args) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    const std::string path = (BuildBinFolder() / program).string();
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    fd_ = out[0];
  }
  ~PeerProcess() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) ::close(fd_);
  }
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  pid_t pid() const { return pid_; }
  int output_fd() const { return fd_; }

  // The next line of output, waiting up to `timeout_ms`; "" at the end or on time-out.
  std::string ReadLine(int timeout_ms = 20000) {
    for (;;) {
      const size_t eol = buffer_.find('\n');
      if (eol != std::string::npos) {
        std::string line = buffer_.substr(0, eol);
        buffer_.erase(0, eol + 1);
        return line;
      }
      if (!Fill(timeout_ms)) return {};
    }
  }
  // Reads whatever output is ready without waiting; false at the end of the output.
  bool Fill(int timeout_ms = 0) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeout_ms) != 1) return true;
    char chunk[4096];
    const ssize_t n = ::read(fd_, chunk, sizeof chunk);
    if (n <= 0) return false;
    buffer_.append(chunk, static_cast<size_t>(n));
    return true;
  }
  const std::string& buffered() const { return buffer_; }

  // True (with the exit status) once the program has ended.
  bool Exited(int* status = nullptr) {
    if (!exited_ && pid_ > 0 && ::waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
    if (status) *status = status_;
    return exited_;
  }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
  std::string buffer_;
  bool exited_ = false;
  int status_ = 0;
};

}  // namespace w98::testing

#endif  // W98_TESTS_WINDOW_PEER_PROCESS_H
