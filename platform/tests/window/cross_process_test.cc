// Windows across the processes of a machine: finding another program's window, its caption
// and owner, sends (WM_COPYDATA's data carried along), posts, and restoring a minimised window
// from another process.
#include <poll.h>
#include <sys/wait.h>

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "peer_process.h"
#include "temp_machine.h"
#include "w98/w98.h"
#include "w98/windows.h"

namespace {

using w98::testing::PeerProcess;

std::vector<std::string>* g_copies = nullptr;

LRESULT CALLBACK Form(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_COPYDATA && g_copies) {
    const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(l);
    g_copies->emplace_back(static_cast<const char*>(copy->lpData), copy->cbData);
    return 77;
  }
  if (msg == WM_USER + 1) return static_cast<LRESULT>(w) * l;
  return DefWindowProcA(hwnd, msg, w, l);
}

TEST(CrossProcessTest, AnotherProcessFindsRestoresAndSendsToOurWindow) {
  w98::testing::TempMachine machine;
  WNDCLASSA wc{};
  wc.lpfnWndProc = Form;
  wc.lpszClassName = "ThunderRT5Form";
  RegisterClassA(&wc);
  HWND hwnd = CreateWindowExA(0, "ThunderRT5Form", "Quillow", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 30,
                              40, 500, 400, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(hwnd, nullptr);
  ShowWindow(hwnd, SW_MINIMIZE);
  std::vector<std::string> copies;
  g_copies = &copies;
  std::vector<w98::WindowState> states;
  w98::SetWindowStateHook(hwnd, [&](HWND, const w98::WindowState& s) { states.push_back(s); });

  // The peer searches with other letter cases: matching is not case-sensitive.
  PeerProcess peer("w98_window_peer", {"restore", "thunderrt5form", "QUILLOW"});
  ASSERT_GT(peer.pid(), 0);
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  const int queue_fd = w98::MessageQueueDescriptor();
  while (!peer.Exited() && std::chrono::steady_clock::now() < give_up) {
    pollfd fds[2] = {{queue_fd, POLLIN, 0}, {peer.output_fd(), POLLIN, 0}};
    ::poll(fds, 2, 100);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    peer.Fill();
  }
  int status = -1;
  ASSERT_TRUE(peer.Exited(&status)) << "the peer did not finish";
  EXPECT_EQ(WEXITSTATUS(status), 0) << peer.buffered();
  while (peer.Fill()) {
  }
  EXPECT_EQ(peer.buffered(), "showcmd 2\ncopydata-answer 77\nadd-answer 80\n");

  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(copies[0], "hello from another process");
  EXPECT_FALSE(IsIconic(hwnd));
  ASSERT_FALSE(states.empty()) << "the state hook was not told";
  EXPECT_EQ(states.back().show_cmd, static_cast<UINT>(SW_SHOWNORMAL));
  EXPECT_EQ(states.back().normal_position.left, 30);
  g_copies = nullptr;
  DestroyWindow(hwnd);
}

TEST(CrossProcessTest, WeReachAnotherProcessWindow) {
  w98::testing::TempMachine machine;
  PeerProcess peer("w98_window_peer", {"serve", "PeerClass", "Peer Window"});
  ASSERT_EQ(peer.ReadLine(), "ready");

  EXPECT_EQ(FindWindowA("PeerClass", "No Such Title"), nullptr);
  HWND hwnd = FindWindowA(nullptr, "peer window");
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(FindWindowA("PEERCLASS", nullptr), hwnd);
  DWORD pid = 0;
  EXPECT_NE(GetWindowThreadProcessId(hwnd, &pid), 0u);
  EXPECT_EQ(pid, static_cast<DWORD>(peer.pid()));
  EXPECT_TRUE(IsWindowVisible(hwnd));

  EXPECT_EQ(SendMessageA(hwnd, WM_USER + 1, 40, 2), 42);
  const std::string data(100000, 'q');  // larger than one socket read
  COPYDATASTRUCT copy{9, static_cast<DWORD>(data.size()), const_cast<char*>(data.data())};
  EXPECT_EQ(SendMessageA(hwnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy)),
            static_cast<LRESULT>(data.size()));
  EXPECT_EQ(peer.ReadLine(),
            "copydata 100000 bytes, sum " + std::to_string(100000 * static_cast<int>('q')));

  char title[64] = "sentinel";
  EXPECT_EQ(GetWindowTextA(hwnd, title, sizeof title), 11);
  EXPECT_STREQ(title, "Peer Window");
  EXPECT_TRUE(SetWindowTextA(hwnd, "Renamed by the test"));
  char via_message[8] = "xxxxxxx";
  EXPECT_EQ(
      SendMessageA(hwnd, WM_GETTEXT, sizeof via_message, reinterpret_cast<LPARAM>(via_message)), 7);
  EXPECT_STREQ(via_message, "Renamed");
  EXPECT_EQ(FindWindowA("PeerClass", "renamed by the test"), hwnd);

  EXPECT_TRUE(PostMessageA(hwnd, WM_CLOSE, 0, 0));
  int status = -1;
  for (int i = 0; i < 2000 && !peer.Exited(&status); ++i) Sleep(10);
  ASSERT_TRUE(peer.Exited(&status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(IsWindow(hwnd));
  SetLastError(0);
  EXPECT_EQ(SendMessageA(hwnd, WM_USER + 1, 1, 1), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(CrossProcessTest, WindowsOfAKilledProcessAreIgnored) {
  w98::testing::TempMachine machine;
  HWND hwnd;
  {
    PeerProcess peer("w98_window_peer", {"serve", "Doomed", "Doomed"});
    ASSERT_EQ(peer.ReadLine(), "ready");
    hwnd = FindWindowA("Doomed", nullptr);
    ASSERT_NE(hwnd, nullptr);
  }  // killed with SIGKILL: its table entry stays behind
  EXPECT_EQ(FindWindowA("Doomed", nullptr), nullptr);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(ShowWindow(hwnd, SW_SHOW));
}

}  // namespace
