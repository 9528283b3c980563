// Ending a session: the query round, a window that refuses, and a restart that ends the
// machine's programs and runs its start-up programs.
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "peer_process.h"
#include "temp_machine.h"
#include "w98/w98.h"
#include "w98/windows.h"

namespace {

std::vector<std::pair<UINT, WPARAM>>* g_session_messages = nullptr;
LRESULT g_query_answer = TRUE;

LRESULT CALLBACK MainForm(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_QUERYENDSESSION || msg == WM_ENDSESSION) {
    if (g_session_messages) g_session_messages->emplace_back(msg, w);
    return msg == WM_QUERYENDSESSION ? g_query_answer : 0;
  }
  return DefWindowProcA(hwnd, msg, w, l);
}

HWND CreateMainForm() {
  static const bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = MainForm;
    wc.lpszClassName = "SessionForm";
    return RegisterClassA(&wc) != 0;
  }();
  EXPECT_TRUE(registered);
  return CreateWindowExA(0, "SessionForm", "Session", WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                         nullptr, nullptr);
}

std::string ReadHostFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TEST(SessionTest, AWindowAnsweringZeroKeepsTheSession) {
  w98::testing::TempMachine machine;
  // Another program's window is asked first (it was created first) and agrees.
  w98::testing::PeerProcess peer("w98_window_peer", {"serve", "PeerForm", "Peer", "1"});
  ASSERT_EQ(peer.ReadLine(), "ready");
  std::vector<std::pair<UINT, WPARAM>> seen;
  g_session_messages = &seen;
  g_query_answer = 0;
  HWND hwnd = CreateMainForm();

  SetLastError(0);
  EXPECT_FALSE(ExitWindowsEx(EWX_REBOOT, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANCELLED));
  EXPECT_EQ(seen, (std::vector<std::pair<UINT, WPARAM>>{{WM_QUERYENDSESSION, 0}}));
  EXPECT_EQ(peer.ReadLine(), "endsession 0") << "the window that agreed learns it goes on";
  EXPECT_FALSE(peer.Exited()) << "programs keep running";
  EXPECT_TRUE(IsWindow(FindWindowA("PeerForm", nullptr)));

  // A forced end asks nobody.
  seen.clear();
  EXPECT_TRUE(ExitWindowsEx(EWX_FORCE | EWX_SHUTDOWN, 0));
  EXPECT_TRUE(seen.empty());
  g_session_messages = nullptr;
  g_query_answer = TRUE;
  DestroyWindow(hwnd);
}

TEST(SessionTest, RestartEndsProgramsAndRunsStartupPrograms) {
  w98::testing::TempMachine machine;
  ASSERT_TRUE(w98::WriteProgramStub("C:\\WINDOWS\\PROBE.EXE", "w98_process_probe"));
  ASSERT_TRUE(w98::WriteProgramStub("C:\\WINDOWS\\PEER.EXE", "w98_window_peer"));
  HKEY run_once, run;
  ASSERT_EQ(
      RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                      0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &run_once, nullptr),
      ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                            0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &run, nullptr),
            ERROR_SUCCESS);
  const char once_command[] = "probe --exit 3";
  const char run_command[] = "peer serve StartedAtBoot Booted";
  RegSetValueExA(run_once, "Snapshot", 0, REG_SZ, reinterpret_cast<const BYTE*>(once_command),
                 sizeof once_command);
  RegSetValueExA(run, "TavrinQuillow", 0, REG_SZ, reinterpret_cast<const BYTE*>(run_command),
                 sizeof run_command);
  RegCloseKey(run_once);
  RegCloseKey(run);

  // A program of the machine that would run for a minute.
  std::string line = "probe --sleep 60000";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION running{};
  ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &running));
  std::vector<std::pair<UINT, WPARAM>> seen;
  g_session_messages = &seen;
  HWND hwnd = CreateMainForm();

  ASSERT_TRUE(ExitWindowsEx(EWX_REBOOT, 0));
  EXPECT_EQ(seen,
            (std::vector<std::pair<UINT, WPARAM>>{{WM_QUERYENDSESSION, 0}, {WM_ENDSESSION, TRUE}}));
  EXPECT_EQ(WaitForSingleObject(running.hProcess, 10000), static_cast<DWORD>(WAIT_OBJECT_0))
      << "the running program was ended";
  CloseHandle(running.hThread);
  CloseHandle(running.hProcess);

  // The restart runs on its own; wait for it to finish.
  const auto log_path = machine.Root() / "run" / "boot.log";
  std::string log;
  for (int i = 0; i < 400 && log.find("restart done") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    log = ReadHostFile(log_path);
  }
  ASSERT_NE(log.find("restart done"), std::string::npos) << log;
  const size_t once_at = log.find("RunOnce Snapshot: probe --exit 3");
  const size_t ended_at = log.find("RunOnce Snapshot: ended with 3");
  const size_t run_at = log.find("Run TavrinQuillow: peer serve StartedAtBoot Booted");
  EXPECT_NE(once_at, std::string::npos) << log;
  EXPECT_NE(ended_at, std::string::npos) << log;
  EXPECT_NE(run_at, std::string::npos) << log;
  EXPECT_TRUE(once_at < ended_at && ended_at < run_at) << "RunOnce finishes before Run starts";
  EXPECT_NE(machine.ReadFile("PROBE.TXT").find("cmdline=probe --exit 3"), std::string::npos);

  HKEY key;
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", 0,
                    KEY_READ, &key),
      ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Snapshot", nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND)
      << "a RunOnce value is removed when it runs";
  RegCloseKey(key);

  HWND booted = nullptr;
  for (int i = 0; i < 400 && booted == nullptr; ++i) {
    booted = FindWindowA("StartedAtBoot", "Booted");
    if (!booted) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_NE(booted, nullptr) << "the Run program started";
  // It ends with the next session.
  EXPECT_TRUE(ExitWindowsEx(EWX_FORCE | EWX_SHUTDOWN, 0));
  EXPECT_FALSE(IsWindow(booted));
  g_session_messages = nullptr;
  DestroyWindow(hwnd);
}

}  // namespace
