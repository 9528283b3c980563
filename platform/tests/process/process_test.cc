// Programs of the machine: found by their stubs as Windows finds programs, started with their
// command line, folder and the registry as it stood, waited for, and their exit codes; modules.
#include <sys/wait.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "process/process_table.h"
#include "temp_machine.h"
#include "w98/w98.h"
#include "w98/windows.h"

namespace {

using Report = std::multimap<std::string, std::string>;

class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(w98::WriteProgramStub("C:\\WINDOWS\\PROBE.EXE", "w98_process_probe"));
    ASSERT_TRUE(w98::WriteProgramStub("C:\\WINDOWS\\COMMAND\\CMDPROBE.COM", "w98_process_probe"));
    machine_.WriteFile("Program Files/Sub Dir/placeholder", "");
    ASSERT_TRUE(
        w98::WriteProgramStub("C:\\Program Files\\Sub Dir\\Probe Name.exe", "w98_process_probe"));
    machine_.WriteFile("TOOLS/NOTSTUB.EXE", "MZ not a stub");
    ASSERT_TRUE(w98::WriteProgramStub("C:\\TOOLS\\LOCAL.EXE", "w98_process_probe"));
  }

  // Runs `line` with CreateProcessA and waits for it. Returns the error, or 0 and the report.
  DWORD Run(const std::string& line, Report* report, DWORD* exit_code = nullptr) {
    std::remove(machine_.OnC("PROBE.TXT").c_str());
    std::string writable = line;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{nullptr, nullptr, 0xdeadbeef, 0xdeadbeef};
    if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &info))
      return GetLastError();
    EXPECT_EQ(info.dwProcessId, info.dwThreadId);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 0xdeadbeef;
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    if (exit_code) *exit_code = code;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    *report = ReadReport();
    return 0;
  }

  Report ReadReport() {
    Report report;
    std::istringstream lines(machine_.ReadFile("PROBE.TXT"));
    std::string line;
    while (std::getline(lines, line)) {
      const size_t eq = line.find('=');
      if (eq != std::string::npos) report.emplace(line.substr(0, eq), line.substr(eq + 1));
    }
    return report;
  }

  static std::vector<std::string> Args(const Report& report) {
    std::vector<std::string> args;
    auto [begin, end] = report.equal_range("arg");
    for (auto it = begin; it != end; ++it) args.push_back(it->second);
    return args;
  }
  static std::string One(const Report& report, const std::string& key) {
    auto it = report.find(key);
    return it == report.end() ? "(missing)" : it->second;
  }

  w98::testing::TempMachine machine_;
};

TEST_F(ProcessTest, ProgramsAreFoundAsWindowsFindsThem) {
  struct Case {
    const char* line;
    DWORD error;
    const char* module;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {"probe one", 0, "C:\\WINDOWS\\PROBE.EXE", {"one"}},
      {"PROBE.exe", 0, "C:\\WINDOWS\\PROBE.EXE", {}},
      {"cmdprobe /x", 0, "C:\\WINDOWS\\COMMAND\\CMDPROBE.COM", {"/x"}},
      {"C:\\Program Files\\Sub Dir\\Probe Name.exe first",
       0,
       "C:\\Program Files\\Sub Dir\\Probe Name.exe",
       {"first"}},
      {"\"c:\\program files\\sub dir\\probe name\" \"a b\" c",
       0,
       "C:\\Program Files\\Sub Dir\\Probe Name.exe",
       {"a b", "c"}},
      {"c:\\tools\\local", 0, "C:\\TOOLS\\LOCAL.EXE", {}},
      {"local", ERROR_FILE_NOT_FOUND, "", {}},  // not in a folder that is searched
      {"nosuch.exe", ERROR_FILE_NOT_FOUND, "", {}},
      {"c:\\tools\\notstub.exe", ERROR_BAD_EXE_FORMAT, "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Report report;
    SetLastError(0xdeadbeef);
    ASSERT_EQ(Run(c.line, &report), c.error);
    if (c.error != 0) continue;
    EXPECT_EQ(One(report, "module"), c.module);
    EXPECT_EQ(One(report, "cmdline"), c.line) << "GetCommandLineA gives the line as started";
    EXPECT_EQ(Args(report), c.args);
  }
}

TEST_F(ProcessTest, WaitingAndExitCodes) {
  std::string line = "probe --sleep 300 --exit 1006";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &info));
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  bool listed = false;
  for (const auto& entry : w98::internal::LiveProcessEntries())
    listed |= entry.pid == static_cast<pid_t>(info.dwProcessId) &&
              entry.program == "C:\\WINDOWS\\PROBE.EXE";
  EXPECT_TRUE(listed) << "a running program is in the machine's process table";

  // Any thread may wait on the handle.
  static HANDLE s_process;
  s_process = info.hProcess;
  HANDLE waiter = CreateThread(
      nullptr, 0, [](LPVOID) -> DWORD { return WaitForSingleObject(s_process, 20000); }, nullptr, 0,
      nullptr);
  EXPECT_EQ(WaitForSingleObject(waiter, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD waited = 0xdeadbeef;
  GetExitCodeThread(waiter, &waited);
  EXPECT_EQ(waited, static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, 1006u) << "the full exit code, beyond the host's 8 bits";
  EXPECT_EQ(WaitForSingleObject(info.hThread, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  for (const auto& entry : w98::internal::LiveProcessEntries())
    EXPECT_NE(entry.pid, static_cast<pid_t>(info.dwProcessId)) << "ended programs leave it";
  CloseHandle(waiter);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
}

TEST_F(ProcessTest, ChildSeesRegistryWritesFolderAndBatchInterpreter) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Probe", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const char value[] = "written just before";
  ASSERT_EQ(
      RegSetValueExA(key, "Value", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value),
      ERROR_SUCCESS);
  RegCloseKey(key);
  Report report;
  ASSERT_EQ(Run("probe", &report), 0u);
  EXPECT_EQ(One(report, "registry"), value);

  // A batch file runs through the machine's command interpreter.
  ASSERT_TRUE(w98::WriteProgramStub("C:\\COMMAND.COM", "w98_process_probe"));
  machine_.WriteFile("JOBS/NIGHTLY.BAT", "@echo off\r\n");
  ASSERT_EQ(Run("c:\\jobs\\nightly x \"y z\"", &report), 0u);
  EXPECT_EQ(One(report, "module"), "C:\\COMMAND.COM");
  EXPECT_EQ(Args(report), (std::vector<std::string>{"/C", "C:\\JOBS\\NIGHTLY.BAT", "x", "y z"}));
}

TEST_F(ProcessTest, ShellExecuteOpensProgramsInTheirFolder) {
  std::remove(machine_.OnC("PROBE.TXT").c_str());
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = "open";
  info.lpFile = "probe.exe";
  info.lpParameters = "/E c:\\windows\\x.sav   HKEY_CURRENT_USER\\Software\\Zemo";
  info.lpDirectory = "C:\\WINDOWS";
  info.nShow = SW_HIDE;
  ASSERT_TRUE(ShellExecuteExA(&info));
  EXPECT_GT(reinterpret_cast<INT_PTR>(info.hInstApp), 32);
  ASSERT_NE(info.hProcess, nullptr);
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
  CloseHandle(info.hProcess);
  const Report report = ReadReport();
  EXPECT_EQ(Args(report), (std::vector<std::string>{"/E", "c:\\windows\\x.sav",
                                                    "HKEY_CURRENT_USER\\Software\\Zemo"}));
  const std::string cwd = One(report, "hostcwd");
  EXPECT_EQ(cwd.substr(cwd.size() - 10), "/c/WINDOWS");

  struct Failure {
    const char* verb;
    const char* file;
    DWORD error;
    INT_PTR shell_error;
  };
  for (const Failure& f : {Failure{"open", "missing.exe", ERROR_FILE_NOT_FOUND, SE_ERR_FNF},
                           Failure{nullptr, "missing", ERROR_FILE_NOT_FOUND, SE_ERR_FNF},
                           Failure{"print", "probe.exe", ERROR_NO_ASSOCIATION, SE_ERR_NOASSOC}}) {
    SCOPED_TRACE(f.file);
    SHELLEXECUTEINFOA bad{};
    bad.cbSize = sizeof bad;
    bad.fMask = SEE_MASK_NOCLOSEPROCESS;
    bad.lpVerb = f.verb;
    bad.lpFile = f.file;
    bad.hProcess = reinterpret_cast<HANDLE>(0xdeadbeef);
    EXPECT_FALSE(ShellExecuteExA(&bad));
    EXPECT_EQ(GetLastError(), f.error);
    EXPECT_EQ(reinterpret_cast<INT_PTR>(bad.hInstApp), f.shell_error);
    EXPECT_EQ(bad.hProcess, nullptr);
  }
}

TEST_F(ProcessTest, W98RunReturnsTheExitCode) {
  const std::string tool = (w98::testing::BuildBinFolder() / "w98").string();
  const std::string machine = machine_.Root().string();
  struct Case {
    const char* args;
    int status;
  };
  for (const Case& c : {Case{"probe --exit 7", 7}, Case{"nosuch", 127}}) {
    SCOPED_TRACE(c.args);
    const std::string command =
        tool + " --machine " + machine + " run -- " + c.args + " 2>/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), c.status);
  }
}

TEST(ModuleTest, LoadsLibrariesByTheirWindowsName) {
  HMODULE module = LoadLibraryA("W98TestLib.dll");
  ASSERT_NE(module, nullptr) << "error " << GetLastError();
  auto answer = reinterpret_cast<int (*)(int)>(
      reinterpret_cast<void*>(GetProcAddress(module, "TestLibraryAnswer")));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(1), 42);
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(module, "NoSuchExport"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  char path[MAX_PATH] = "";
  EXPECT_GT(GetModuleFileNameA(module, path, sizeof path), 0u);
  EXPECT_NE(std::string(path).find("libw98testlib.so"), std::string::npos) << path;
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_FALSE(FreeLibrary(module)) << "freed twice";
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA("nosuch.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

}  // namespace
