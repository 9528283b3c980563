#include "boot_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "w98/w98.h"

namespace w98tool {
namespace {

// Copies what is added to the boot log to standard output while a boot runs. A boot starts a
// new log file under the same name; the follower finishes the old file and goes on with the
// new one from its start.
class LogFollower {
 public:
  explicit LogFollower(std::string path) : path_(std::move(path)) {
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ >= 0) ::lseek(fd_, 0, SEEK_END);  // only what this boot writes
    thread_ = std::thread([this] {
      while (!stop_.load()) {
        Poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      Poll();
    });
  }
  ~LogFollower() {
    stop_.store(true);
    thread_.join();
    if (fd_ >= 0) ::close(fd_);
  }
  LogFollower(const LogFollower&) = delete;
  LogFollower& operator=(const LogFollower&) = delete;

 private:
  void Drain() {
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd_, buffer, sizeof buffer)) > 0)
      std::fwrite(buffer, 1, static_cast<size_t>(n), stdout);
    std::fflush(stdout);
  }
  void Poll() {
    if (fd_ >= 0) Drain();
    struct stat named {
    }, open{};
    if (::stat(path_.c_str(), &named) != 0) return;
    if (fd_ >= 0 && ::fstat(fd_, &open) == 0 && open.st_ino == named.st_ino &&
        open.st_dev == named.st_dev)
      return;
    // A new log: take it from its first line.
    if (fd_ >= 0) ::close(fd_);
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ >= 0) Drain();
  }

  const std::string path_;
  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace

bool ParseBootOptions(const Args& args, BootOptions* options, std::string* error) {
  for (const std::string& arg : args) {
    if (arg == "--log") {
      options->log = true;
    } else if (arg == "--wait") {
      options->wait = true;
    } else if (arg.rfind("--wait=", 0) == 0) {
      const std::string value = arg.substr(7);
      char* end = nullptr;
      errno = 0;
      const unsigned long seconds = std::strtoul(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || errno != 0 || value[0] == '-' || seconds > 86400) {
        *error = "not a number of seconds (0 to 86400): " + value;
        return false;
      }
      options->wait = true;
      options->wait_seconds = seconds;
    } else {
      *error = "unknown option " + arg;
      return false;
    }
  }
  return true;
}

int RunBoot(const BootOptions& options, const std::function<int()>& boot) {
  int result;
  {
    std::unique_ptr<LogFollower> follower;
    if (options.log) follower = std::make_unique<LogFollower>(w98::BootLogFile());
    result = boot();
    if (result == 0 && options.wait &&
        !w98::WaitForMachinePrograms(options.wait_seconds * 1000UL)) {
      follower.reset();
      return Fail("programs of the machine still run after " +
                      std::to_string(options.wait_seconds) + " s (see the boot log)",
                  kStillRunning);
    }
  }
  switch (result) {
    case 0:
      if (!options.log) std::printf("Booted; boot log: %s\n", w98::BootLogFile().c_str());
      return kBooted;
    case 2:
      return Fail("the machine is running (w98 restart restarts it)", kNotOff);
    default:
      return Fail("the boot stopped (see " + w98::BootLogFile() + ")", kBootStopped);
  }
}

}  // namespace w98tool
