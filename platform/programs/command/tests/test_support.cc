#include "test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <sstream>

#include "batch_text.h"
#include "temp_machine.h"
#include "w98/machine.h"
#include "w98/windows.h"

extern char** environ;

namespace dostest {
namespace fs = std::filesystem;

ProgramRun RunHostProgram(const std::string& program, const std::vector<std::string>& args,
                          const fs::path& machine) {
  ProgramRun run;
  const std::string path = (w98::testing::BuildBinFolder() / program).string();
  std::vector<std::string> env_strings;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::string(*e).rfind(std::string(w98::kMachineEnv) + "=", 0) == 0) continue;
    env_strings.emplace_back(*e);
  }
  env_strings.push_back(std::string(w98::kMachineEnv) + "=" + machine.string());
  std::vector<char*> envp;
  for (auto& s : env_strings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> argv_strings{path};
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : argv_strings) argv.push_back(s.data());
  argv.push_back(nullptr);

  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 2);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  // Only the program's standard streams hold the pipe: a program that it leaves running (a
  // start-up program of a boot) must not keep the caller reading.
  posix_spawn_file_actions_addclose(&actions, pipe_fds[1]);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  pid_t pid = 0;
  const int spawned =
      ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_fds[1]);
  if (spawned != 0) {
    ::close(pipe_fds[0]);
    run.output = "cannot start " + path;
    return run;
  }
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(pipe_fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    run.output.append(buffer, static_cast<size_t>(n));
  }
  ::close(pipe_fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string ReadHostFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

namespace {

std::string Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 >= text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    if (next == 'r')
      out += '\r';
    else if (next == 'n')
      out += '\n';
    else if (next == 't')
      out += '\t';
    else if (next == '\\')
      out += '\\';
    else {
      out += '\\';
      out += next;
    }
  }
  return out;
}

// Reads the next blank-separated field (a quoted field may hold blanks; quotes removed).
std::string Field(std::string_view line, size_t& pos) {
  while (pos < line.size() && line[pos] == ' ') ++pos;
  std::string out;
  bool quoted = false;
  while (pos < line.size() && (quoted || line[pos] != ' ')) {
    if (line[pos] == '"')
      quoted = !quoted;
    else
      out += line[pos];
    ++pos;
  }
  return out;
}

// The rest of the line after one blank.
std::string Rest(std::string_view line, size_t pos) {
  if (pos < line.size() && line[pos] == ' ') ++pos;
  return std::string(line.substr(pos < line.size() ? pos : line.size()));
}

// "C:\A\B" -> MACHINE/c/A/B, bypassing w98: each part that exists is matched without regard
// to case (as w98 finds it), a missing part keeps the case given.
fs::path HostOf(const std::string& dos) {
  const char drive = static_cast<char>(std::tolower(dos.empty() ? 'c' : dos[0]));
  fs::path path = fs::path(w98::MachineFolder()) / std::string(1, drive);
  const std::string rest = dos.size() > 3 ? dos.substr(3) : "";
  size_t start = 0;
  while (start < rest.size()) {
    size_t end = rest.find('\\', start);
    if (end == std::string::npos) end = rest.size();
    const std::string part = rest.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    std::string found = part;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(path, ec)) {
      if (command::EqualsNoCase(entry.path().filename().string(), part)) {
        found = entry.path().filename().string();
        break;
      }
    }
    path /= found;
  }
  return path;
}

DWORD ParseAttributes(const std::string& letters) {
  DWORD attributes = 0;
  for (char c : letters) {
    if (c == 'R') attributes |= FILE_ATTRIBUTE_READONLY;
    if (c == 'H') attributes |= FILE_ATTRIBUTE_HIDDEN;
    if (c == 'S') attributes |= FILE_ATTRIBUTE_SYSTEM;
    if (c == 'A') attributes |= FILE_ATTRIBUTE_ARCHIVE;
  }
  return attributes;
}

std::string Letters(DWORD attributes) {
  std::string out;
  if (attributes & FILE_ATTRIBUTE_READONLY) out += 'R';
  if (attributes & FILE_ATTRIBUTE_HIDDEN) out += 'H';
  if (attributes & FILE_ATTRIBUTE_SYSTEM) out += 'S';
  if (attributes & FILE_ATTRIBUTE_ARCHIVE) out += 'A';
  return out.empty() ? "-" : out;
}

fs::file_time_type ParseTime(const std::string& date, const std::string& time) {
  std::tm tm{};
  std::istringstream in(date + " " + time);
  in >> std::get_time(&tm, "%Y-%m-%d %H:%M:%S");
  const std::time_t seconds = ::timegm(&tm);
  return std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(seconds));
}

}  // namespace

std::vector<std::string> RunScript(const std::string& script, bool setup) {
  std::vector<std::string> failures;
  std::istringstream lines(script);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    size_t pos = 0;
    const std::string verb = Field(line, pos);
    const std::string path = Field(line, pos);
    const fs::path host = HostOf(path);
    std::error_code ec;
    auto fail = [&](const std::string& why) { failures.push_back(line + ": " + why); };
    if (verb == "file") {
      const std::string letters = Field(line, pos);
      const std::string text = Unescape(Rest(line, pos));
      const DWORD wanted = ParseAttributes(letters);
      if (setup) {
        fs::create_directories(host.parent_path(), ec);
        std::ofstream(host, std::ios::binary | std::ios::trunc) << text;
        SetFileAttributesA(path.c_str(), wanted == 0 ? FILE_ATTRIBUTE_NORMAL : wanted);
      } else {
        const std::string found = ReadHostFile(host);
        if (!fs::exists(host))
          fail("file missing");
        else if (found != text)
          fail("expected text [" + text + "], got [" + found + "]");
        const DWORD attributes = GetFileAttributesA(path.c_str());
        const DWORD got = attributes == INVALID_FILE_ATTRIBUTES ? 0 : attributes & 0x27;
        if (fs::exists(host) && got != wanted)
          fail("expected attributes " + Letters(wanted) + ", got " + Letters(got));
      }
    } else if (verb == "dir") {
      if (setup)
        fs::create_directories(host, ec);
      else if (!fs::is_directory(host))
        fail("folder missing");
    } else if (verb == "stub") {
      fs::create_directories(host.parent_path(), ec);
      if (!w98::WriteProgramStub(path, Field(line, pos))) fail("cannot write the stub");
    } else if (verb == "time") {
      const std::string date = Field(line, pos);
      fs::last_write_time(host, ParseTime(date, Field(line, pos)), ec);
      if (ec) fail("cannot set the time: " + ec.message());
    } else if (verb == "absent") {
      if (fs::exists(host)) fail("exists");
    } else if (verb == "sametime") {
      const fs::path other = HostOf(Field(line, pos));
      const auto a = fs::last_write_time(host, ec);
      const auto b = fs::last_write_time(other, ec);
      if (ec || a != b) fail("last-write times differ");
    } else if (verb == "capacity") {
      // Drive C: may grow by `path` bytes (the first field) from what it holds now.
      uintmax_t used = 0;
      for (const auto& entry :
           fs::recursive_directory_iterator(fs::path(w98::MachineFolder()) / "c", ec))
        if (entry.is_regular_file(ec)) used += entry.file_size(ec);
      const std::string ini = (fs::path(w98::MachineFolder()) / "machine.ini").string();
      std::string text = ReadHostFile(ini);
      const size_t at = text.find("[capacity]\r\nC=");
      if (at == std::string::npos) {
        fail("machine.ini has no [capacity] C= line");
        continue;
      }
      const size_t value = at + 14;
      const size_t end = text.find("\r\n", value);
      text.replace(value, end - value, std::to_string(used + std::stoull(path)));
      std::ofstream(ini, std::ios::binary | std::ios::trunc) << text;
    } else {
      fail("unknown directive");
    }
  }
  return failures;
}

}  // namespace dostest
