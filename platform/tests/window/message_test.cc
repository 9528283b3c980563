// Messages within a process: posting and retrieval, sends between threads (WM_COPYDATA from
// several workers), nested sends, termination of waiting senders, the queue's descriptor.
#include <poll.h>

#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "w98/w98.h"
#include "w98/windows.h"

namespace {

constexpr UINT kAdd = WM_USER + 1;
constexpr UINT kRelay = WM_USER + 2;

struct Received {
  DWORD thread;
  DWORD sequence;
};
std::vector<Received>* g_received = nullptr;

LRESULT CALLBACK Receiver(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_COPYDATA: {
      const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(l);
      Received r;
      std::memcpy(&r, copy->lpData, sizeof r);
      g_received->push_back(r);
      return static_cast<LRESULT>(copy->dwData * 2);
    }
    case kAdd:
      return static_cast<LRESULT>(w) + l;
    case kRelay:  // sends back to the window that the sender owns, while the sender waits
      return SendMessageA(reinterpret_cast<HWND>(w), kAdd, 40, 2) + 100;
    default:
      return DefWindowProcA(hwnd, msg, w, l);
  }
}

HWND MakeWindow() {
  static const bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = Receiver;
    wc.lpszClassName = "Receiver";
    return RegisterClassA(&wc) != 0;
  }();
  EXPECT_TRUE(registered);
  return CreateWindowExA(0, "Receiver", "receiver", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                         nullptr);
}

TEST(MessageTest, PostedMessagesKeepOrderAndFilters) {
  HWND hwnd = MakeWindow();
  ASSERT_NE(hwnd, nullptr);
  EXPECT_TRUE(PostMessageA(hwnd, WM_USER + 10, 1, 0));
  EXPECT_TRUE(PostMessageA(nullptr, WM_USER + 11, 2, 0)) << "a thread message";
  EXPECT_TRUE(PostMessageA(hwnd, WM_USER + 12, 3, 0));
  MSG msg{};
  EXPECT_TRUE(PeekMessageA(&msg, hwnd, WM_USER + 12, WM_USER + 12, PM_NOREMOVE));
  EXPECT_EQ(msg.wParam, 3u) << "range filter";
  EXPECT_TRUE(PeekMessageA(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 2u) << "thread messages only";
  EXPECT_EQ(msg.hwnd, nullptr);
  PostQuitMessage(17);
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.wParam, 1u);
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE) << "WM_QUIT comes after posted messages";
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 17u);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));

  SetLastError(0);
  COPYDATASTRUCT copy{};
  EXPECT_FALSE(PostMessageA(hwnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MESSAGE_SYNC_ONLY));
  SetLastError(0);
  EXPECT_FALSE(PostThreadMessageA(0x7fffffff, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID));
  DestroyWindow(hwnd);
}

TEST(MessageTest, WorkersSendingCopyDataAreAnsweredInOrderPerSender) {
  HWND hwnd = MakeWindow();
  ASSERT_NE(hwnd, nullptr);
  std::vector<Received> received;
  g_received = &received;
  constexpr DWORD kWorkers = 4, kEach = 50;
  struct Job {
    HWND target;
    DWORD index;
    std::atomic<int> wrong_answers{0};
  };
  Job jobs[kWorkers];
  HANDLE threads[kWorkers];
  for (DWORD i = 0; i < kWorkers; ++i) {
    jobs[i].target = hwnd;
    jobs[i].index = i;
    threads[i] = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
          auto* job = static_cast<Job*>(p);
          for (DWORD s = 0; s < kEach; ++s) {
            // A 12-byte movable, zero-filled block, as the engine's workers report.
            HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(Received));
            auto* record = static_cast<Received*>(GlobalLock(block));
            *record = Received{job->index, s};
            COPYDATASTRUCT copy{s + 1, sizeof(Received), record};
            const LRESULT answer =
                SendMessageA(job->target, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy));
            if (answer != static_cast<LRESULT>(2 * (s + 1))) ++job->wrong_answers;
            GlobalUnlock(block);
            GlobalFree(block);
          }
          return 0;
        },
        &jobs[i], 0, nullptr);
    ASSERT_NE(threads[i], nullptr);
  }
  // The main thread pumps until every worker has ended.
  DWORD ended = 0;
  while (ended < kWorkers) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    ended = 0;
    for (HANDLE t : threads) ended += WaitForSingleObject(t, 0) == WAIT_OBJECT_0;
    if (ended < kWorkers) Sleep(1);
  }
  ASSERT_EQ(received.size(), kWorkers * kEach);
  std::map<DWORD, DWORD> next;
  for (const Received& r : received) {
    EXPECT_EQ(r.sequence, next[r.thread]) << "sender " << r.thread << " out of order";
    next[r.thread] = r.sequence + 1;
  }
  for (DWORD i = 0; i < kWorkers; ++i) {
    EXPECT_EQ(jobs[i].wrong_answers.load(), 0) << "worker " << i;
    CloseHandle(threads[i]);
  }
  g_received = nullptr;
  DestroyWindow(hwnd);
}

TEST(MessageTest, SenderRunsMessagesSentToItWhileItWaits) {
  HWND mine = MakeWindow();
  static std::atomic<HWND> s_theirs{nullptr};
  static std::atomic<bool> s_done{false};
  HANDLE other = CreateThread(
      nullptr, 0,
      [](LPVOID) -> DWORD {
        s_theirs = MakeWindow();
        MSG msg;
        while (!s_done && GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
        DestroyWindow(s_theirs);
        return 0;
      },
      nullptr, 0, nullptr);
  while (s_theirs.load() == nullptr) Sleep(1);
  // Our send waits on the other thread, whose procedure sends back to our window.
  EXPECT_EQ(SendMessageA(s_theirs, kRelay, reinterpret_cast<WPARAM>(mine), 0), 142);
  s_done = true;
  PostThreadMessageA(GetWindowThreadProcessId(s_theirs, nullptr), WM_NULL, 0, 0);
  EXPECT_EQ(WaitForSingleObject(other, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  CloseHandle(other);
  EXPECT_FALSE(IsWindow(s_theirs)) << "destroyed by its thread";
  DestroyWindow(mine);
}

TEST(MessageTest, TerminationStopsSendersAndReceiversThatWait) {
  HWND hwnd = MakeWindow();  // nobody pumps it while the sender waits
  static HWND s_target;
  s_target = hwnd;
  struct Case {
    const char* name;
    LPTHREAD_START_ROUTINE routine;
  };
  const Case cases[] = {
      {"blocked in SendMessageA",
       [](LPVOID) -> DWORD { return static_cast<DWORD>(SendMessageA(s_target, kAdd, 1, 1)); }},
      {"blocked in GetMessageA",
       [](LPVOID) -> DWORD {
         MSG msg;
         return static_cast<DWORD>(GetMessageA(&msg, nullptr, 0, 0));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HANDLE thread = CreateThread(nullptr, 0, c.routine, nullptr, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 30), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(TerminateThread(thread, 1006));
    EXPECT_EQ(WaitForSingleObject(thread, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, 1006u);
    CloseHandle(thread);
  }
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
      << "the stopped sender's message was withdrawn";
  DestroyWindow(hwnd);
}

// A sender terminated while the receiver runs its message waits for the window procedure to
// finish; a receiver that then sends back to the dying sender is answered at once instead of
// waiting for ever.
TEST(MessageTest, TerminatedSenderDoesNotDeadlockAReceiverThatSendsBack) {
  static std::atomic<int> s_stage;
  static std::atomic<HWND> s_sender_window, s_slow;
  static std::atomic<LRESULT> s_nested;
  s_stage = 0;
  s_sender_window = nullptr;
  s_slow = nullptr;
  s_nested = -1;
  HANDLE receiver = CreateThread(
      nullptr, 0,
      [](LPVOID) -> DWORD {
        WNDCLASSA wc{};
        wc.lpfnWndProc = [](HWND hwnd, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
          if (msg != WM_USER + 7) return DefWindowProcA(hwnd, msg, w, l);
          s_stage = 1;  // running: the test now terminates the sender
          while (s_stage != 2) Sleep(1);
          s_nested = SendMessageA(s_sender_window, kAdd, 1, 1);
          return 5;
        };
        wc.lpszClassName = "SlowReceiver";
        RegisterClassA(&wc);
        s_slow = CreateWindowExA(0, "SlowReceiver", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                                 nullptr);
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
        DestroyWindow(s_slow);
        return 0;
      },
      nullptr, 0, nullptr);
  while (s_slow.load() == nullptr) Sleep(1);
  HANDLE sender = CreateThread(
      nullptr, 0,
      [](LPVOID) -> DWORD {
        s_sender_window = MakeWindow();
        return static_cast<DWORD>(SendMessageA(s_slow, WM_USER + 7, 0, 0));
      },
      nullptr, 0, nullptr);
  while (s_stage != 1) Sleep(1);
  EXPECT_TRUE(TerminateThread(sender, 9));
  s_stage = 2;
  EXPECT_EQ(WaitForSingleObject(sender, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0;
  GetExitCodeThread(sender, &code);
  EXPECT_EQ(code, 9u);
  for (int i = 0; i < 10000 && s_nested == -1; ++i) Sleep(1);
  EXPECT_EQ(s_nested.load(), 0) << "the receiver's send to the dying sender was not answered";
  PostThreadMessageA(GetWindowThreadProcessId(s_slow, nullptr), WM_QUIT, 0, 0);
  EXPECT_EQ(WaitForSingleObject(receiver, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  CloseHandle(sender);
  CloseHandle(receiver);
}

TEST(MessageTest, DescriptorIsReadableWhileAMessageWaits) {
  HWND hwnd = MakeWindow();
  const int fd = w98::MessageQueueDescriptor();
  ASSERT_GE(fd, 0);
  auto readable = [fd] {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
  };
  EXPECT_FALSE(readable());
  std::thread poster([hwnd] { PostMessageA(hwnd, kAdd, 1, 2); });
  poster.join();
  EXPECT_TRUE(readable());
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(DispatchMessageA(&msg), 3);
  EXPECT_FALSE(readable()) << "drained queue";

  // A message sent from another thread makes it readable too, and PeekMessageA runs it.
  static std::atomic<LRESULT> s_answer{0};
  HANDLE sender = CreateThread(
      nullptr, 0,
      [](LPVOID target) -> DWORD {
        s_answer = SendMessageA(static_cast<HWND>(target), kAdd, 20, 22);
        return 0;
      },
      hwnd, 0, nullptr);
  pollfd p{fd, POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 10000), 1);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "sent, not posted";
  EXPECT_EQ(WaitForSingleObject(sender, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(s_answer.load(), 42);
  CloseHandle(sender);
  DestroyWindow(hwnd);
}

}  // namespace
