// Threads: suspend counts, termination at suspension points, exit codes, foreign threads.
#include <atomic>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "thread_testing.h"
#include "w98/w98.h"
#include "w98/windows.h"

namespace {

// Polls `condition` for up to ten seconds; true when it became true.
template <class F>
bool Eventually(F condition) {
  for (int i = 0; i < 10000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return condition();
}

// A worker that counts its own w98 calls until it is stopped, and records whether the code
// after its loop or its unwinding ran.
struct Spinner {
  std::atomic<long> calls{0};
  std::atomic<bool> completed{false};
  std::atomic<bool> unwound{false};
  std::atomic<bool> swallowed_by_std_catch{false};
  std::atomic<bool> stop{false};
  DWORD id = 0;

  static DWORD WINAPI Run(LPVOID p) {
    auto* self = static_cast<Spinner*>(p);
    struct Unwind {
      Spinner* s;
      ~Unwind() { s->unwound = true; }
    } unwind{self};
    try {
      while (!self->stop) {
        GetCurrentThreadId();
        ++self->calls;
      }
    } catch (const std::exception&) {
      self->swallowed_by_std_catch = true;
    }
    self->completed = true;
    return 7;
  }

  // True when the worker sleeps where a suspended thread waits and its counter stands still
  // for a while.
  bool Held() const {
    w98::testing::WaitUntilAsleep(id);
    const long before = calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    return calls.load() == before;
  }
};

TEST(ThreadTest, SuspendCountsFollowWindows) {
  Spinner spinner;
  spinner.id = 0xdeadbeef;
  HANDLE thread = CreateThread(nullptr, 0, Spinner::Run, &spinner, CREATE_SUSPENDED, &spinner.id);
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(spinner.id, 0xdeadbeefu);
  EXPECT_TRUE(spinner.Held()) << "a thread created suspended ran";
  EXPECT_EQ(spinner.calls.load(), 0);

  EXPECT_EQ(ResumeThread(thread), 1u) << "first resume of a suspended thread";
  EXPECT_TRUE(Eventually([&] { return spinner.calls.load() > 0; }));
  EXPECT_EQ(ResumeThread(thread), 0u) << "resume of a running thread";

  EXPECT_EQ(SuspendThread(thread), 0u);
  EXPECT_EQ(SuspendThread(thread), 1u);
  EXPECT_TRUE(spinner.Held());
  EXPECT_EQ(ResumeThread(thread), 2u);
  EXPECT_TRUE(spinner.Held()) << "suspended twice and resumed once must stay suspended";
  EXPECT_EQ(ResumeThread(thread), 1u);
  const long held_at = spinner.calls.load();
  EXPECT_TRUE(Eventually([&] { return spinner.calls.load() > held_at; }));

  // The count stops at MAXIMUM_SUSPEND_COUNT; the failed call leaves it unchanged.
  for (DWORD i = 0; i < MAXIMUM_SUSPEND_COUNT; ++i) ASSERT_EQ(SuspendThread(thread), i);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(SuspendThread(thread), 0xFFFFFFFFu);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SIGNAL_REFUSED));
  EXPECT_EQ(ResumeThread(thread), static_cast<DWORD>(MAXIMUM_SUSPEND_COUNT));
  for (DWORD i = MAXIMUM_SUSPEND_COUNT - 1; i > 0; --i) ASSERT_EQ(ResumeThread(thread), i);

  spinner.stop = true;
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0xdeadbeef;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 7u);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(SuspendThread(thread), 0xFFFFFFFFu) << "suspending a thread that has ended";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(CloseHandle(thread));
  EXPECT_FALSE(CloseHandle(thread));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(ThreadTest, TerminatedThreadRunsNoneOfItsOwnCode) {
  struct Case {
    const char* name;
    bool suspend_first;
  };
  for (const Case& c : {Case{"running", false}, Case{"suspended", true}}) {
    SCOPED_TRACE(c.name);
    Spinner spinner;
    HANDLE thread = CreateThread(nullptr, 0, Spinner::Run, &spinner, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(Eventually([&] { return spinner.calls.load() > 100; }));
    if (c.suspend_first) {
      ASSERT_EQ(SuspendThread(thread), 0u);
    }
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_TRUE(TerminateThread(thread, 1006));
    EXPECT_EQ(WaitForSingleObject(thread, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 1006u);
    EXPECT_TRUE(spinner.unwound) << "destructors on the worker's stack must run";
    EXPECT_FALSE(spinner.completed) << "code after the loop ran after termination";
    EXPECT_FALSE(spinner.swallowed_by_std_catch) << "catch (std::exception&) caught termination";
    EXPECT_TRUE(TerminateThread(thread, 55)) << "terminating an ended thread";
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 1006u) << "the first exit code stays";
    CloseHandle(thread);
  }
}

TEST(ThreadTest, ThreadStoppedBeforeItStartedNeverRuns) {
  Spinner spinner;
  HANDLE thread = CreateThread(nullptr, 0, Spinner::Run, &spinner, CREATE_SUSPENDED, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_TRUE(TerminateThread(thread, 3));
  EXPECT_EQ(WaitForSingleObject(thread, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_FALSE(spinner.unwound) << "the start routine ran";
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, 3u);
  CloseHandle(thread);
}

// Workers blocked inside w98 waits notice termination without another call.
TEST(ThreadTest, TerminationEndsBlockingWaits) {
  HANDLE mutex = CreateMutexA(nullptr, TRUE, nullptr);
  ASSERT_NE(mutex, nullptr);
  struct Case {
    const char* name;
    LPTHREAD_START_ROUTINE routine;
  };
  static HANDLE s_mutex;
  s_mutex = mutex;
  const Case cases[] = {
      {"Sleep(INFINITE)",
       [](LPVOID) -> DWORD {
         Sleep(INFINITE);
         return 0;
       }},
      {"waiting for a mutex",
       [](LPVOID) -> DWORD {
         WaitForSingleObject(s_mutex, INFINITE);
         return 0;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HANDLE thread = CreateThread(nullptr, 0, c.routine, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 20), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(TerminateThread(thread, 9));
    EXPECT_EQ(WaitForSingleObject(thread, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, 9u);
    CloseHandle(thread);
  }
  EXPECT_TRUE(ReleaseMutex(mutex));
  CloseHandle(mutex);
}

TEST(ThreadTest, ExitThreadAndPriorities) {
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](LPVOID) -> DWORD {
        ExitThread(42);
        return 1;
      },
      nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, 42u);

  for (int priority : {THREAD_PRIORITY_IDLE, THREAD_PRIORITY_LOWEST, THREAD_PRIORITY_NORMAL,
                       THREAD_PRIORITY_TIME_CRITICAL}) {
    EXPECT_TRUE(SetThreadPriority(thread, priority)) << priority;
    EXPECT_EQ(GetThreadPriority(thread), priority);
  }
  for (int priority : {-3, 3, 14, 16, -16}) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetThreadPriority(thread, priority)) << priority;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRIORITY)) << priority;
  }
  CloseHandle(thread);

  SetLastError(0xdeadbeef);
  EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(0x7777), 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(ThreadTest, ThreadsNotStartedByW98UseEveryCall) {
  std::atomic<DWORD> id{0};
  DWORD code = 0, wait = 0xdeadbeef;
  BOOL terminated_self = TRUE;
  DWORD terminate_error = 0;
  std::thread foreign([&] {
    id = GetCurrentThreadId();
    Sleep(1);
    HANDLE worker = CreateThread(
        nullptr, 0, [](LPVOID) -> DWORD { return 5; }, nullptr, 0, nullptr);
    wait = WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
    GetExitCodeThread(GetCurrentThread(), &code);
    terminated_self = TerminateThread(GetCurrentThread(), 1);
    terminate_error = GetLastError();
  });
  foreign.join();
  EXPECT_NE(id.load(), 0u);
  EXPECT_NE(id.load(), GetCurrentThreadId());
  EXPECT_EQ(wait, static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_FALSE(terminated_self) << "nothing would catch the unwinding on a foreign thread";
  EXPECT_EQ(terminate_error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

}  // namespace
