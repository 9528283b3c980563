// Windows of one process: creation and destruction, subclassing, long values, captions and
// placement.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "w98/w98.h"
#include "w98/windows.h"

namespace {

std::vector<UINT>* g_seen = nullptr;  // messages the test procedures saw, in order

LRESULT CALLBACK Recording(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  if (g_seen) g_seen->push_back(msg);
  if (msg == WM_CREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(l);
    if (create->lpCreateParams == reinterpret_cast<LPVOID>(-1)) return -1;
  }
  return DefWindowProcA(hwnd, msg, w, l);
}

WNDPROC g_previous = nullptr;
LRESULT CALLBACK Subclass(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_USER) return 1000 + CallWindowProcA(g_previous, hwnd, msg, w, l);
  if (msg == WM_SETTEXT) {  // the subclass rewrites every caption
    const std::string upper = std::string("[") + reinterpret_cast<const char*>(l) + "]";
    return CallWindowProcA(g_previous, hwnd, msg, w, reinterpret_cast<LPARAM>(upper.c_str()));
  }
  return CallWindowProcA(g_previous, hwnd, msg, w, l);
}

LRESULT CALLBACK Base(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_USER) return 1;
  return DefWindowProcA(hwnd, msg, w, l);
}

void RegisterOnce(const char* name, WNDPROC proc, int extra = 0) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = proc;
  wc.cbWndExtra = extra;
  wc.lpszClassName = name;
  RegisterClassA(&wc);
}

TEST(WindowTest, CreationSendsCreateMessagesAndCanBeRefused) {
  std::vector<UINT> seen;
  g_seen = &seen;
  RegisterOnce("Recording", Recording);
  WNDCLASSA again{};
  again.lpfnWndProc = Recording;
  again.lpszClassName = "RECORDING";
  SetLastError(0);
  EXPECT_EQ(RegisterClassA(&again), 0) << "class names are case-insensitive";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

  HWND hwnd = CreateWindowExA(0, "recording", "Title", WS_OVERLAPPEDWINDOW, 10, 20, 300, 200,
                              nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(seen, (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
  EXPECT_TRUE(IsWindow(hwnd));
  EXPECT_FALSE(IsWindowVisible(hwnd));
  DWORD pid = 0;
  EXPECT_EQ(GetWindowThreadProcessId(hwnd, &pid), GetCurrentThreadId());
  EXPECT_EQ(pid, GetCurrentProcessId());

  seen.clear();
  EXPECT_TRUE(DestroyWindow(hwnd));
  EXPECT_EQ(seen, (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
  EXPECT_FALSE(IsWindow(hwnd));
  SetLastError(0);
  EXPECT_FALSE(DestroyWindow(hwnd));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));

  HWND refused = CreateWindowExA(0, "Recording", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                                 reinterpret_cast<LPVOID>(-1));
  EXPECT_EQ(refused, nullptr) << "WM_CREATE answered -1";
  SetLastError(0);
  EXPECT_EQ(
      CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
      nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
  g_seen = nullptr;
}

TEST(WindowTest, SubclassingChainsThroughCallWindowProc) {
  RegisterOnce("Base", Base, 8);
  HWND hwnd =
      CreateWindowExA(0, "Base", "plain", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(SendMessageA(hwnd, WM_USER, 0, 0), 1);

  g_previous = reinterpret_cast<WNDPROC>(
      SetWindowLongA(hwnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(Subclass)));
  EXPECT_EQ(g_previous, Base) << "SetWindowLongA returns the previous procedure";
  EXPECT_EQ(GetWindowLongA(hwnd, GWL_WNDPROC), reinterpret_cast<LONG_PTR>(Subclass));
  EXPECT_EQ(SendMessageA(hwnd, WM_USER, 0, 0), 1001);

  EXPECT_TRUE(SetWindowTextA(hwnd, "caption"));
  char text[64] = "sentinel";
  EXPECT_EQ(GetWindowTextA(hwnd, text, sizeof text), 9);
  EXPECT_STREQ(text, "[caption]");
  char small[4] = "xyz";
  EXPECT_EQ(GetWindowTextA(hwnd, small, sizeof small), 3);
  EXPECT_STREQ(small, "[ca");

  EXPECT_EQ(SetWindowLongA(hwnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(g_previous)),
            reinterpret_cast<LONG_PTR>(Subclass));
  EXPECT_EQ(SendMessageA(hwnd, WM_USER, 0, 0), 1) << "subclass removed";

  struct Case {
    int index;
    LONG_PTR value;
  };
  for (const Case& c : {Case{GWL_USERDATA, 0x123456789LL}, Case{0, 77}, Case{4, -5}}) {
    EXPECT_EQ(SetWindowLongA(hwnd, c.index, c.value), 0) << c.index;
    EXPECT_EQ(GetWindowLongA(hwnd, c.index), c.value) << c.index;
  }
  SetLastError(0);
  EXPECT_EQ(SetWindowLongA(hwnd, 5, 1), 0) << "past the extra bytes";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
  DestroyWindow(hwnd);
}

TEST(WindowTest, PlacementFollowsShowWindowAndSetWindowPlacement) {
  RegisterOnce("Base", Base, 8);
  HWND hwnd = CreateWindowExA(0, "Base", "placed", WS_VISIBLE, 50, 60, 400, 300, nullptr, nullptr,
                              nullptr, nullptr);
  ASSERT_NE(hwnd, nullptr);
  std::vector<UINT> hook_calls;
  ASSERT_TRUE(w98::SetWindowStateHook(
      hwnd, [&](HWND, const w98::WindowState& s) { hook_calls.push_back(s.show_cmd); }));

  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  ASSERT_TRUE(GetWindowPlacement(hwnd, &wp));
  EXPECT_EQ(wp.showCmd, static_cast<UINT>(SW_SHOWNORMAL));
  EXPECT_EQ(wp.rcNormalPosition.left, 50);
  EXPECT_EQ(wp.rcNormalPosition.bottom, 360);

  struct Step {
    int command;
    BOOL was_visible;
    BOOL iconic, zoomed, visible;
  };
  const Step steps[] = {
      {SW_SHOWMAXIMIZED, TRUE, FALSE, TRUE, TRUE}, {SW_MINIMIZE, TRUE, TRUE, FALSE, TRUE},
      {SW_RESTORE, TRUE, FALSE, TRUE, TRUE},  // back to maximised, as it was
      {SW_RESTORE, TRUE, FALSE, FALSE, TRUE},      {SW_HIDE, TRUE, FALSE, FALSE, FALSE},
      {SW_SHOW, FALSE, FALSE, FALSE, TRUE},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.command);
    EXPECT_EQ(ShowWindow(hwnd, s.command) != 0, s.was_visible != 0);
    EXPECT_EQ(IsIconic(hwnd), s.iconic);
    EXPECT_EQ(IsZoomed(hwnd), s.zoomed);
    EXPECT_EQ(IsWindowVisible(hwnd), s.visible);
  }
  EXPECT_EQ(hook_calls.size(), std::size(steps)) << "the hook runs at once on the owner thread";

  wp.showCmd = SW_SHOWMINIMIZED;
  wp.rcNormalPosition = RECT{1, 2, 3, 4};
  ASSERT_TRUE(SetWindowPlacement(hwnd, &wp));
  WINDOWPLACEMENT back{};
  back.length = sizeof back;
  ASSERT_TRUE(GetWindowPlacement(hwnd, &back));
  EXPECT_EQ(back.showCmd, static_cast<UINT>(SW_SHOWMINIMIZED));
  EXPECT_EQ(back.rcNormalPosition.right, 3);
  EXPECT_EQ(hook_calls.back(), static_cast<UINT>(SW_SHOWMINIMIZED));

  EXPECT_TRUE(SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
  EXPECT_TRUE(SetForegroundWindow(hwnd));
  EXPECT_EQ(GetForegroundWindow(), hwnd);
  DestroyWindow(hwnd);
  EXPECT_EQ(GetForegroundWindow(), nullptr) << "a destroyed window is no longer in front";
}

}  // namespace
