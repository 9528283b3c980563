#include "core/machine.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/ini_document.h"
#include "core/text.h"
#include "w98/machine.h"

namespace w98::internal {
namespace {

std::mutex g_current_mutex;
std::shared_ptr<Machine> g_current;
bool g_current_loaded = false;
// Moves on whenever g_current changes, so that a thread may keep the machine it last asked for
// and hand it out again without taking the lock (every file call asks for it, from every
// thread at once).
std::atomic<std::uint64_t> g_current_epoch{1};
std::vector<std::function<void()>>& ResetHooks() {
  static std::vector<std::function<void()>> hooks;
  return hooks;
}

std::string ReadWholeFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace

Machine::Machine(std::filesystem::path root)
    : root_(std::move(root)), root_fd_(::open(root_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {}

std::int64_t Machine::IniStamp() const {
  struct stat st {};
  const int rc =
      root_fd_ >= 0 ? ::fstatat(root_fd_, "machine.ini", &st, 0) : ::stat(IniPath().c_str(), &st);
  if (rc != 0) return -2;
  return (static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec) ^
         (static_cast<std::int64_t>(st.st_size) << 40) ^ static_cast<std::int64_t>(st.st_ino);
}

Machine::~Machine() {
  if (root_fd_ >= 0) ::close(root_fd_);
}

std::shared_ptr<Machine> Machine::Current() {
  thread_local std::uint64_t t_epoch = 0;
  thread_local std::shared_ptr<Machine> t_machine;
  if (t_epoch == g_current_epoch.load(std::memory_order_acquire)) return t_machine;
  std::lock_guard<std::mutex> lock(g_current_mutex);
  if (!g_current_loaded) {
    g_current_loaded = true;
    const char* env = std::getenv(kMachineEnv);
    if (env != nullptr && *env != '\0' && IsMachineFolder(env)) {
      std::error_code ec;
      auto root = std::filesystem::canonical(env, ec);
      if (!ec) g_current = std::make_shared<Machine>(root);
    }
  }
  t_machine = g_current;
  t_epoch = g_current_epoch.load(std::memory_order_relaxed);
  return t_machine;
}

std::filesystem::path Machine::DriveFolder(char letter) const {
  char lower = static_cast<char>(letter >= 'A' && letter <= 'Z' ? letter + 32 : letter);
  return root_ / std::string(1, lower);
}

bool Machine::HasDrive(char letter) const {
  struct stat st {};
  return ::stat(DriveFolder(letter).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::filesystem::path Machine::RunFolder() const {
  std::filesystem::path run = root_ / "run";
  std::error_code ec;
  std::filesystem::create_directories(run, ec);
  return run;
}

std::string Machine::Setting(std::string_view section, std::string_view key,
                             std::string_view fallback) const {
  return Settings(section, {{key, fallback}}).front();
}

std::vector<std::string> Machine::Settings(
    std::string_view section,
    std::initializer_list<std::pair<std::string_view, std::string_view>> keys) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::int64_t stamp = IniStamp();
  if (stamp != ini_stamp_) {
    ini_ = IniDocument::Parse(ReadWholeFile(IniPath()));
    ini_stamp_ = stamp;
  }
  std::vector<std::string> values;
  values.reserve(keys.size());
  for (const auto& [key, fallback] : keys) {
    auto value = ini_.Get(section, key);
    values.push_back(value ? *value : std::string(fallback));
  }
  return values;
}

bool Machine::WriteSetting(std::string_view section, std::string_view key, std::string_view value) {
  const std::filesystem::path lock_path = RunFolder() / "machine.ini.lock";
  const int lock_fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lock_fd < 0) return false;
  ::flock(lock_fd, LOCK_EX);
  IniDocument doc = IniDocument::Parse(ReadWholeFile(IniPath()));
  doc.Set(section, key, value);
  const std::string bytes = doc.Serialize();
  const std::filesystem::path temp = root_ / ".machine.ini.new";
  bool ok = false;
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ok = static_cast<bool>(out);
  }
  if (ok) ok = ::rename(temp.c_str(), IniPath().c_str()) == 0;
  ::flock(lock_fd, LOCK_UN);
  ::close(lock_fd);
  std::lock_guard<std::mutex> lock(mutex_);
  ini_stamp_ = -1;
  return ok;
}

std::string Machine::WindowsFolder() const {
  std::string dir = Setting("machine", "windir", "C:\\WINDOWS");
  while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
  return dir;
}

bool SelectMachineFolder(const std::filesystem::path& root) {
  if (!IsMachineFolder(root.string())) return false;
  std::error_code ec;
  auto canonical = std::filesystem::canonical(root, ec);
  if (ec) return false;
  ::setenv(kMachineEnv, canonical.c_str(), 1);
  std::vector<std::function<void()>> hooks;
  {
    std::lock_guard<std::mutex> lock(g_current_mutex);
    g_current = std::make_shared<Machine>(canonical);
    g_current_loaded = true;
    g_current_epoch.fetch_add(1, std::memory_order_release);
    hooks = ResetHooks();
  }
  for (auto& hook : hooks) hook();
  return true;
}

void RegisterMachineResetHook(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(g_current_mutex);
  ResetHooks().push_back(std::move(hook));
}

}  // namespace w98::internal
