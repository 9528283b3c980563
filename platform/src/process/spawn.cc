// Starting programs of the machine (CreateProcessA, ShellExecuteExA) and waiting for them.
#include "process/spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "core/api.h"
#include "core/machine.h"
#include "core/path.h"
#include "core/text.h"
#include "process/command_line.h"
#include "process/host_process.h"
#include "process/process_table.h"
#include "registry/storage_hooks.h"
#include "w98/machine.h"
#include "w98/session.h"
#include "w98/shellapi.h"
#include "w98/winbase.h"

extern char** environ;

namespace w98::internal {

DWORD ProcessObject::Wait(DWORD milliseconds) {
  return WaitUntil(mutex_, waiters_, DeadlineAfter(milliseconds),
                   [this] { return ended_ ? WAIT_OBJECT_0 : kStillWaiting; });
}

DWORD ProcessObject::ExitCode() {
  std::lock_guard<std::mutex> lock(mutex_);
  return ended_ ? exit_code_ : STILL_ACTIVE;
}

void ProcessObject::End(DWORD exit_code) {
  std::lock_guard<std::mutex> lock(mutex_);
  ended_ = true;
  exit_code_ = exit_code;
  waiters_.WakeAll();
}

namespace {

// Waits for the child on a thread of its own, so that any thread may wait on the handle and
// the child never stays a zombie.
void Reap(std::shared_ptr<ProcessObject> process, std::string table_folder) {
  std::thread([process, table_folder] {
    int status = 0;
    while (::waitpid(process->pid(), &status, 0) < 0 && errno == EINTR) {
    }
    DWORD code;
    if (WIFEXITED(status)) {
      code = static_cast<DWORD>(WEXITSTATUS(status));
      if (auto full = TakeRecordedExitCode(process->pid(), WEXITSTATUS(status), table_folder))
        code = *full;
    } else {
      code = 128 + static_cast<DWORD>(WTERMSIG(status));  // ended by a signal, as a shell says
    }
    RemoveProcessEntry(process->pid(), table_folder);
    process->End(code);
  }).detach();
}

// The environment of a child: ours, with the variables of <w98/session.h> set for it.
std::vector<std::string> ChildEnvironment(const std::string& command_line,
                                          const std::string& program, const std::string& folder) {
  const std::pair<const char*, std::string> own[] = {
      {kMachineEnv, w98::MachineFolder()},
      {kCommandLineEnv, command_line},
      {kProgramEnv, program},
      {kCurrentDirectoryEnv, folder},
      {kParentPidEnv, std::to_string(::getpid())},
  };
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    bool replaced = false;
    for (const auto& [name, value] : own) {
      const size_t n = std::strlen(name);
      if (std::strncmp(*e, name, n) == 0 && (*e)[n] == '=') replaced = true;
    }
    if (!replaced) env.emplace_back(*e);
  }
  for (const auto& [name, value] : own) env.push_back(std::string(name) + "=" + value);
  return env;
}

}  // namespace

DWORD StartImage(const ProgramImage& found, const std::string& command_line,
                 const std::string& arguments, const char* current_folder,
                 std::shared_ptr<ProcessObject>* started, int output) {
  ProgramImage image = found;
  std::vector<std::string> args = SplitCommandLine(arguments);
  std::string windows_line = command_line;
  if (image.batch) {
    ProgramImage interpreter;
    if (DWORD error = FindCommandInterpreter(&interpreter); error != ERROR_SUCCESS) return error;
    args.insert(args.begin(), {"/C", image.dos_path});
    windows_line =
        interpreter.dos_path + " /C " + image.dos_path + (arguments.empty() ? "" : " " + arguments);
    image = interpreter;
  }

  // The child's current folder: the one asked for (it must exist), else ours.
  std::string folder = CurrentFolder();
  if (current_folder != nullptr && *current_folder != '\0') {
    HostPath dir;
    if (ResolveDosPath(current_folder, dir) != ERROR_SUCCESS || !dir.is_directory)
      return ERROR_DIRECTORY;
    folder = dir.dos;
  }
  HostPath host_folder;
  const bool has_host_folder =
      ResolveDosPath(folder, host_folder) == ERROR_SUCCESS && host_folder.is_directory;

  std::vector<std::string> argv_text{image.host_program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_text = ChildEnvironment(windows_line, image.dos_path, folder);
  std::vector<char*> envp;
  for (auto& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);

  // The child must see every registry write made before it started.
  FlushAllHives();

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (has_host_folder) posix_spawn_file_actions_addchdir_np(&actions, host_folder.host.c_str());
  if (output >= 0) {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output, 1);
    posix_spawn_file_actions_adddup2(&actions, output, 2);
  }
  pid_t pid = -1;
  const int rc =
      posix_spawn(&pid, image.host_program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return rc == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;

  ProcessEntry entry;
  entry.pid = pid;
  entry.start = ProcessStartTime(pid);
  entry.parent = ::getpid();
  entry.program = image.dos_path;
  entry.host_program = image.host_program;
  entry.command_line = windows_line;
  AddProcessEntry(entry);
  auto process = std::make_shared<ProcessObject>(pid);
  Reap(process, ProcessTableFolder());
  *started = process;
  return ERROR_SUCCESS;
}

DWORD StartCommandLine(const char* application, const char* command_line,
                       const char* current_folder, std::shared_ptr<ProcessObject>* started,
                       int output) {
  const std::string line = command_line != nullptr ? command_line : "";
  ProgramImage image;
  std::string rest;
  DWORD error = ERROR_FILE_NOT_FOUND;
  if (application != nullptr && *application != '\0') {
    error = FindProgram(application, &image);
    if (command_line != nullptr) FirstToken(line, &rest);
  } else {
    // An unquoted name with blanks is tried at each blank, shortest first.
    for (const auto& [name, remainder] : ProgramNameCandidates(line)) {
      error = FindProgram(name, &image);
      rest = remainder;
      if (error != ERROR_FILE_NOT_FOUND) break;
    }
  }
  if (error != ERROR_SUCCESS) return error;
  const std::string windows_line = line.empty() ? std::string(application) : line;
  return StartImage(image, windows_line, rest, current_folder, started, output);
}

}  // namespace w98::internal

using w98::internal::ProcessObject;

W98API BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine,
                                  LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID,
                                  LPCSTR lpCurrentDirectory, LPSTARTUPINFOA,
                                  LPPROCESS_INFORMATION lpProcessInformation) {
  w98::internal::EnterCall();
  if ((lpApplicationName == nullptr || *lpApplicationName == '\0') &&
      (lpCommandLine == nullptr || *lpCommandLine == '\0')) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::shared_ptr<ProcessObject> process;
  const DWORD error = w98::internal::StartCommandLine(lpApplicationName, lpCommandLine,
                                                      lpCurrentDirectory, &process);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  if (lpProcessInformation != nullptr) {
    // The primary thread ends with the process; its id is the process id on this host.
    lpProcessInformation->hProcess = w98::internal::InsertHandle(process);
    lpProcessInformation->hThread = w98::internal::InsertHandle(process);
    lpProcessInformation->dwProcessId = static_cast<DWORD>(process->pid());
    lpProcessInformation->dwThreadId = static_cast<DWORD>(process->pid());
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

W98API BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
  w98::internal::EnterCall();
  auto process = w98::internal::LookupHandleAs<ProcessObject>(hProcess);
  if (!process) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (lpExitCode == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpExitCode = process->ExitCode();
  return TRUE;
}

W98API BOOL WINAPI ShellExecuteExA(LPSHELLEXECUTEINFOA lpExecInfo) {
  w98::internal::EnterCall();
  if (lpExecInfo == nullptr || lpExecInfo->lpFile == nullptr || *lpExecInfo->lpFile == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  lpExecInfo->hProcess = nullptr;
  auto fail = [&](DWORD error, INT_PTR shell_error) {
    lpExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(shell_error);
    SetLastError(error);
    return FALSE;
  };
  if (lpExecInfo->lpVerb != nullptr && *lpExecInfo->lpVerb != '\0' &&
      !w98::internal::EqualsNoCase(lpExecInfo->lpVerb, "open"))
    return fail(ERROR_NO_ASSOCIATION, SE_ERR_NOASSOC);

  // The file names one program (blanks included); its parameters follow it.
  w98::internal::ProgramImage image;
  const DWORD found = w98::internal::FindProgram(lpExecInfo->lpFile, &image);
  if (found == ERROR_FILE_NOT_FOUND) return fail(found, SE_ERR_FNF);
  if (found != ERROR_SUCCESS) return fail(found, SE_ERR_NOASSOC);
  const std::string parameters =
      lpExecInfo->lpParameters != nullptr ? lpExecInfo->lpParameters : "";
  std::string line = w98::internal::QuoteArgument(image.dos_path);
  if (!parameters.empty()) line += " " + parameters;
  std::shared_ptr<ProcessObject> process;
  const DWORD error =
      w98::internal::StartImage(image, line, parameters, lpExecInfo->lpDirectory, &process);
  if (error != ERROR_SUCCESS)
    return fail(error, error == ERROR_FILE_NOT_FOUND ? SE_ERR_FNF : SE_ERR_ACCESSDENIED);
  lpExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));  // > 32: success
  if (lpExecInfo->fMask & SEE_MASK_NOCLOSEPROCESS)
    lpExecInfo->hProcess = w98::internal::InsertHandle(process);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
