#include "process/process_table.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "core/machine.h"
#include "process/host_process.h"

namespace w98::internal {
namespace {

std::filesystem::path TableFolder() {
  auto machine = Machine::Current();
  if (!machine) return {};
  std::filesystem::path folder = machine->RunFolder() / "proc";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return folder;
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteAtomically(const std::filesystem::path& path, const std::string& bytes) {
  const std::filesystem::path temp = path.string() + ".new";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  std::filesystem::rename(temp, path);
}

std::optional<ProcessEntry> Parse(const std::string& text) {
  ProcessEntry entry;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "pid") entry.pid = static_cast<pid_t>(std::strtol(value.c_str(), nullptr, 10));
    if (key == "start") entry.start = std::strtoull(value.c_str(), nullptr, 10);
    if (key == "parent") entry.parent = static_cast<pid_t>(std::strtol(value.c_str(), nullptr, 10));
    if (key == "program") entry.program = value;
    if (key == "host") entry.host_program = value;
    if (key == "cmdline") entry.command_line = value;
  }
  if (entry.pid <= 0) return std::nullopt;
  return entry;
}

}  // namespace

void AddProcessEntry(const ProcessEntry& e) {
  const auto folder = TableFolder();
  if (folder.empty()) return;
  std::ostringstream text;
  // Command lines hold no line breaks that matter; they are cut at one to keep the format.
  const std::string cmdline = e.command_line.substr(0, e.command_line.find_first_of("\r\n"));
  text << "pid=" << e.pid << "\nstart=" << e.start << "\nparent=" << e.parent
       << "\nprogram=" << e.program << "\nhost=" << e.host_program << "\ncmdline=" << cmdline
       << "\n";
  std::error_code ec;
  WriteAtomically(folder / (std::to_string(e.pid) + ".proc"), text.str());
}

std::string ProcessTableFolder() {
  return TableFolder().string();
}

void RemoveProcessEntry(pid_t pid, const std::string& folder) {
  if (folder.empty()) return;
  ::unlink((std::filesystem::path(folder) / (std::to_string(pid) + ".proc")).c_str());
}

std::vector<ProcessEntry> LiveProcessEntries() {
  std::vector<ProcessEntry> live;
  const auto folder = TableFolder();
  if (folder.empty()) return live;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return live;
  std::vector<std::string> names;
  while (dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".proc") == 0) names.push_back(name);
  }
  ::closedir(dir);
  for (const auto& name : names) {
    auto entry = Parse(ReadAll(folder / name));
    if (entry && ProcessIsAlive(entry->pid, entry->start)) {
      live.push_back(*entry);
    } else {
      ::unlink((folder / name).c_str());  // ended without anyone seeing it
    }
  }
  return live;
}

void RecordOwnExitCode(UINT code) {
  const auto folder = TableFolder();
  if (folder.empty()) return;
  std::ofstream out(folder / (std::to_string(::getpid()) + ".exit"), std::ios::trunc);
  out << code << "\n";
}

std::optional<DWORD> TakeRecordedExitCode(pid_t pid, int status, const std::string& folder) {
  if (folder.empty()) return std::nullopt;
  const auto path = std::filesystem::path(folder) / (std::to_string(pid) + ".exit");
  const std::string text = ReadAll(path);
  if (text.empty()) return std::nullopt;
  ::unlink(path.c_str());
  const auto code = static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 10));
  if (static_cast<int>(code & 0xFF) != status) return std::nullopt;
  return code;
}

int EndMachinePrograms(std::chrono::milliseconds grace) {
  std::vector<ProcessEntry> running;
  for (const auto& entry : LiveProcessEntries())
    if (entry.pid != ::getpid()) running.push_back(entry);
  for (const auto& entry : running) ::kill(entry.pid, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + grace;
  for (const auto& entry : running) {
    while (ProcessIsAlive(entry.pid, entry.start) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (ProcessIsAlive(entry.pid, entry.start)) ::kill(entry.pid, SIGKILL);
  }
  for (const auto& entry : running) {
    for (int i = 0; i < 200 && ProcessIsAlive(entry.pid, entry.start); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    RemoveProcessEntry(entry.pid, TableFolder().string());
  }
  return static_cast<int>(running.size());
}

}  // namespace w98::internal
