#include "temp_machine.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "w98/machine.h"
#include "w98/windows.h"

namespace w98::testing {

std::filesystem::path BuildBinFolder() {
  if (const char* bin = std::getenv("QUILLOW_BIN"); bin != nullptr && *bin != '\0') return bin;
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return std::filesystem::current_path();
  self[n] = '\0';
  return std::filesystem::path(self).parent_path();
}

TempMachine::TempMachine() {
  std::string pattern = (std::filesystem::temp_directory_path() / "w98-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
  MachineOptions options;
  options.host_bin = BuildBinFolder().string();
  if (!CreateMachine(root_.string(), options))
    throw std::runtime_error("cannot create a machine in " + root_.string());
  if (!SelectMachine(root_.string())) throw std::runtime_error("cannot select " + root_.string());
}

TempMachine::~TempMachine() {
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

void TempMachine::WriteFile(const std::string& relative, const std::string& bytes) const {
  const auto path = OnC(relative);
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempMachine::ReadFile(const std::string& relative) const {
  std::ifstream in(OnC(relative), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::vector<off_t> UnnamedFilesBeingWritten(const std::filesystem::path& folder) {
  // Such a file shows in /proc as "<folder>/#<inode> (deleted)".
  const std::string prefix = std::filesystem::weakly_canonical(folder).string() + "/#";
  const std::string suffix = " (deleted)";
  std::vector<off_t> sizes;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    char target[4096];
    const ssize_t n = ::readlink(entry.path().c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    const std::string link(target, static_cast<size_t>(n));
    if (link.size() <= prefix.size() + suffix.size() ||
        link.compare(0, prefix.size(), prefix) != 0 ||
        link.compare(link.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    struct stat st {};
    if (::stat(entry.path().c_str(), &st) == 0) sizes.push_back(st.st_size);
  }
  return sizes;
}

bool RunHidden(const std::string& program, const std::string& parameters) {
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = "open";
  info.lpFile = program.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_HIDE;
  if (!ShellExecuteExA(&info)) return false;
  WaitForSingleObject(info.hProcess, INFINITE);
  CloseHandle(info.hProcess);
  return true;
}

}  // namespace w98::testing
