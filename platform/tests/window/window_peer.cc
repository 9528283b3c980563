// w98_window_peer: another program of the machine, for tests and benchmarks that cross
// processes. Runs on the machine that W98_MACHINE names.
//
//   w98_window_peer serve CLASS TITLE [ANSWER]
//     Creates a visible top-level window, prints "ready" and pumps messages until WM_CLOSE.
//     WM_USER+1 answers wParam + lParam; WM_COPYDATA answers its byte count and prints the
//     data (a long one as its length and byte sum); WM_QUERYENDSESSION answers ANSWER (default 1);
//     WM_ENDSESSION prints "endsession WPARAM".
//   w98_window_peer restore CLASS TITLE
//     Finds the window, prints its showCmd, restores it with SetWindowPlacement, then sends it
//     WM_COPYDATA "hello from another process" and WM_USER+1 (40, 2), printing both answers.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "w98/windows.h"

namespace {

LRESULT g_query_answer = 1;

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

LRESULT CALLBACK PeerProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_USER + 1:
      return static_cast<LRESULT>(w) + l;
    case WM_COPYDATA: {
      const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(l);
      const std::string data(static_cast<const char*>(copy->lpData), copy->cbData);
      if (data.size() <= 100) {
        Say("copydata " + data);
      } else {  // long data: its length and byte sum, so the output pipe never fills
        unsigned long sum = 0;
        for (unsigned char c : data) sum += c;
        Say("copydata " + std::to_string(data.size()) + " bytes, sum " + std::to_string(sum));
      }
      return copy->cbData;
    }
    case WM_QUERYENDSESSION:
      return g_query_answer;
    case WM_ENDSESSION:
      Say("endsession " + std::to_string(w));
      return 0;
    case WM_CLOSE:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(hwnd, msg, w, l);
  }
}

int Serve(const char* class_name, const char* title) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = PeerProc;
  wc.lpszClassName = class_name;
  if (!RegisterClassA(&wc)) return 3;
  HWND hwnd = CreateWindowExA(0, class_name, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                              100, nullptr, nullptr, nullptr, nullptr);
  if (hwnd == nullptr) return 4;
  Say("ready");
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  DestroyWindow(hwnd);
  return 0;
}

int Restore(const char* class_name, const char* title) {
  HWND hwnd = FindWindowA(class_name, title);
  if (hwnd == nullptr) return 5;
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  if (!GetWindowPlacement(hwnd, &wp)) return 6;
  Say("showcmd " + std::to_string(wp.showCmd));
  wp.showCmd = SW_SHOWNORMAL;
  if (!SetWindowPlacement(hwnd, &wp)) return 7;
  const char text[] = "hello from another process";
  COPYDATASTRUCT copy{1, sizeof text - 1, const_cast<char*>(text)};
  Say("copydata-answer " +
      std::to_string(SendMessageA(hwnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy))));
  Say("add-answer " + std::to_string(SendMessageA(hwnd, WM_USER + 1, 40, 2)));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "serve") == 0) {
    if (argc >= 5) g_query_answer = std::atoi(argv[4]);
    return Serve(argv[2], argv[3]);
  }
  if (argc == 4 && std::strcmp(argv[1], "restore") == 0) return Restore(argv[2], argv[3]);
  std::fprintf(stderr, "usage: w98_window_peer serve|restore CLASS TITLE [ANSWER]\n");
  return 2;
}
