// Mutexes: ownership and recursion, abandonment by ended and terminated threads, named mutexes
// shared with other processes of the machine, a killed owner process.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include <gtest/gtest.h>

#include "temp_machine.h"
#include "w98/windows.h"

extern char** environ;

namespace {

constexpr DWORD kObject0 = WAIT_OBJECT_0;
constexpr DWORD kAbandoned = WAIT_ABANDONED;
constexpr DWORD kTimeout = WAIT_TIMEOUT;

// Runs `routine(mutex)` on a w98 thread and waits for it to end.
void RunOnThread(HANDLE mutex, LPTHREAD_START_ROUTINE routine) {
  HANDLE thread = CreateThread(nullptr, 0, routine, mutex, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, 10000), kObject0);
  CloseHandle(thread);
}

TEST(MutexTest, OwnershipIsRecursiveAndOnlyTheOwnerReleases) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), kObject0);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), kObject0);
  static DWORD s_other_wait, s_other_release_error;
  RunOnThread(mutex, [](LPVOID m) -> DWORD {
    s_other_wait = WaitForSingleObject(m, 10);
    SetLastError(0);
    ReleaseMutex(m);
    s_other_release_error = GetLastError();
    return 0;
  });
  EXPECT_EQ(s_other_wait, kTimeout) << "another thread took an owned mutex";
  EXPECT_EQ(s_other_release_error, static_cast<DWORD>(ERROR_NOT_OWNER));
  EXPECT_TRUE(ReleaseMutex(mutex));
  RunOnThread(mutex, [](LPVOID m) -> DWORD {
    s_other_wait = WaitForSingleObject(m, 10);
    return 0;
  });
  EXPECT_EQ(s_other_wait, kTimeout) << "released once after taking twice must still be owned";
  EXPECT_TRUE(ReleaseMutex(mutex));
  SetLastError(0);
  EXPECT_FALSE(ReleaseMutex(mutex));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
  CloseHandle(mutex);
}

TEST(MutexTest, OwnerThatEndsOrIsTerminatedAbandonsTheMutex) {
  w98::testing::TempMachine machine;
  struct Case {
    const char* name;
    const char* mutex_name;
    bool terminate;
  };
  for (const Case& c : {Case{"unnamed, owner returns", nullptr, false},
                        Case{"unnamed, owner terminated", nullptr, true},
                        Case{"named, owner returns", "AbandonReturn", false},
                        Case{"named, owner terminated", "AbandonTerminate", true}}) {
    SCOPED_TRACE(c.name);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, c.mutex_name);
    ASSERT_NE(mutex, nullptr);
    static std::atomic<bool> s_taken;
    s_taken = false;
    HANDLE owner = CreateThread(
        nullptr, 0,
        c.terminate ? [](LPVOID m) -> DWORD {
          WaitForSingleObject(m, INFINITE);
          s_taken = true;
          for (;;) Sleep(1);  // keeps the mutex until it is stopped
        }
                    : [](LPVOID m) -> DWORD { return WaitForSingleObject(m, INFINITE); },
        mutex, 0, nullptr);
    ASSERT_NE(owner, nullptr);
    if (c.terminate) {
      for (int i = 0; i < 10000 && !s_taken; ++i) Sleep(1);
      EXPECT_TRUE(TerminateThread(owner, 1));
    }
    ASSERT_EQ(WaitForSingleObject(owner, 10000), kObject0);
    EXPECT_EQ(WaitForSingleObject(mutex, 1000), kAbandoned);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WaitForSingleObject(mutex, 0), kObject0) << "abandonment is reported once";
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(owner);
    CloseHandle(mutex);
  }
}

TEST(MutexTest, NamedMutexIsOneObjectPerName) {
  w98::testing::TempMachine machine;
  SetLastError(0xdeadbeef);
  HANDLE first = CreateMutexA(nullptr, TRUE, "SaveMutex");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "fresh create";
  HANDLE second = CreateMutexA(nullptr, FALSE, "SaveMutex");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_NE(first, second);
  HANDLE other_case = CreateMutexA(nullptr, FALSE, "savemutex");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "names are case-sensitive";

  static DWORD s_wait;
  RunOnThread(second, [](LPVOID m) -> DWORD {
    s_wait = WaitForSingleObject(m, 10);
    return 0;
  });
  EXPECT_EQ(s_wait, kTimeout) << "the second handle names the owned first mutex";
  EXPECT_TRUE(ReleaseMutex(second)) << "the owner releases through any handle";
  CloseHandle(first);
  CloseHandle(second);
  CloseHandle(other_case);
  CreateMutexA(nullptr, FALSE, "SaveMutex");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS))
      << "a name whose every handle was closed no longer exists";
}

// A helper process of the machine that owns a named mutex.
class Holder {
 public:
  explicit Holder(const std::string& name) {
    int out[2];
    EXPECT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string program = (w98::testing::BuildBinFolder() / "w98_mutex_holder").string();
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(name.c_str()), nullptr};
    EXPECT_EQ(posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    char buffer[32] = {};
    size_t got = 0;
    while (got < sizeof buffer - 1) {
      const ssize_t n = ::read(out[0], buffer + got, 1);
      if (n <= 0 || buffer[got] == '\n') break;
      got += static_cast<size_t>(n);
    }
    ::close(out[0]);
    said_ = std::string(buffer, got);
  }
  ~Holder() { Kill(); }
  const std::string& said() const { return said_; }
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  std::string said_;
};

TEST(MutexTest, NamedMutexHeldByKilledProcessIsAbandonedToTheNextWaiter) {
  w98::testing::TempMachine machine;
  Holder holder("FixDateMutex");
  ASSERT_EQ(holder.said(), "owned");

  SetLastError(0xdeadbeef);
  HANDLE mutex = CreateMutexA(nullptr, TRUE, "FixDateMutex");
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS))
      << "the other process's mutex exists";
  EXPECT_EQ(WaitForSingleObject(mutex, 30), kTimeout) << "bInitialOwner must be ignored";

  static HANDLE s_mutex;
  static DWORD s_result;
  s_mutex = mutex;
  HANDLE waiter = CreateThread(
      nullptr, 0,
      [](LPVOID) -> DWORD {
        s_result = WaitForSingleObject(s_mutex, 20000);
        ReleaseMutex(s_mutex);
        return 0;
      },
      nullptr, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(waiter, 30), kTimeout);
  holder.Kill();
  ASSERT_EQ(WaitForSingleObject(waiter, 20000), kObject0);
  EXPECT_EQ(s_result, kAbandoned);
  CloseHandle(waiter);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), kObject0) << "released by the waiter";
  EXPECT_TRUE(ReleaseMutex(mutex));
  CloseHandle(mutex);

  // Once no process holds the name, the next one creates it afresh.
  Holder next("FixDateMutex");
  EXPECT_EQ(next.said(), "owned") << "a fresh mutex is not abandoned";
}

}  // namespace
