// A worker inside a long CopyFileA: suspension holds it between blocks until it is resumed as
// often as it was suspended, and termination stops it there without running any of its own
// code after the copy, leaving no partial target.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "temp_machine.h"
#include "thread_testing.h"
#include "w98/windows.h"

namespace {

constexpr off_t kSourceSize = 128 << 20;

struct Copier {
  std::atomic<bool> returned{false};
  std::atomic<bool> succeeded{false};
  static DWORD WINAPI Run(LPVOID p) {
    auto* self = static_cast<Copier*>(p);
    const BOOL ok = CopyFileA("C:\\BIG\\SOURCE.DAT", "C:\\OUT\\TARGET.DAT", FALSE);
    self->succeeded = ok != FALSE;
    self->returned = true;  // completion code: must not run after termination
    return 0;
  }
};

class CopyStopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.WriteFile("OUT/keep", "");
    std::filesystem::remove(machine_.OnC("OUT/keep"));
    machine_.WriteFile("BIG/SOURCE.DAT", "");
    const int fd = ::open(machine_.OnC("BIG/SOURCE.DAT").c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const std::vector<char> block(1 << 20, 'b');
    for (off_t written = 0; written < kSourceSize; written += static_cast<off_t>(block.size()))
      ASSERT_EQ(::write(fd, block.data(), block.size()), static_cast<ssize_t>(block.size()));
    ::close(fd);
  }

  // Host entries of C:\OUT (the copy appears there only when complete).
  std::vector<std::string> OutEntries() {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(machine_.OnC("OUT").c_str())) {
      while (dirent* e = ::readdir(dir))
        if (e->d_name[0] != '.' || (e->d_name[1] != '\0' && e->d_name[1] != '.'))
          names.push_back(e->d_name);
      ::closedir(dir);
    }
    return names;
  }

  // The bytes in C:\OUT, the copy being written included.
  off_t OutBytes() {
    off_t total = 0;
    for (off_t size : w98::testing::UnnamedFilesBeingWritten(machine_.OnC("OUT"))) total += size;
    for (const auto& name : OutEntries()) {
      struct stat st {};
      if (::stat(machine_.OnC("OUT/" + name).c_str(), &st) == 0) total += st.st_size;
    }
    return total;
  }

  // Starts the copier and returns once its copy is under way (false if it finished first).
  bool StartCaughtInCopy(Copier& copier, HANDLE* thread, DWORD* id = nullptr) {
    *thread = CreateThread(nullptr, 0, Copier::Run, &copier, 0, id);
    while (w98::testing::UnnamedFilesBeingWritten(machine_.OnC("OUT")).empty() &&
           OutEntries().empty() && !copier.returned) {
    }
    return !copier.returned && OutBytes() < kSourceSize;
  }

  // True when the worker sleeps where a suspended thread waits and nothing more is written to
  // C:\OUT for a while (the block being copied when it was suspended may take long to finish
  // on a busy machine).
  bool Held(DWORD thread_id) {
    w98::testing::WaitUntilAsleep(thread_id);
    const off_t before = OutBytes();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return OutBytes() == before && before < kSourceSize;
  }

  w98::testing::TempMachine machine_;
};

TEST_F(CopyStopTest, SuspendedWorkerStaysSuspendedInsideTheCopyUntilResumed) {
  Copier copier;
  HANDLE thread;
  DWORD id = 0;
  const bool caught = StartCaughtInCopy(copier, &thread, &id);
  ASSERT_EQ(SuspendThread(thread), 0u);
  if (!caught) GTEST_SKIP() << "the copy ended before it could be caught";
  ASSERT_EQ(SuspendThread(thread), 1u);
  EXPECT_TRUE(Held(id));
  EXPECT_EQ(ResumeThread(thread), 2u);
  EXPECT_TRUE(Held(id)) << "suspended twice and resumed once";
  EXPECT_FALSE(copier.returned);
  EXPECT_EQ(ResumeThread(thread), 1u);
  EXPECT_EQ(WaitForSingleObject(thread, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_TRUE(copier.succeeded);
  struct stat st {};
  ASSERT_EQ(::stat(machine_.OnC("OUT/TARGET.DAT").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, kSourceSize);
  CloseHandle(thread);
}

TEST_F(CopyStopTest, TerminatedWorkerStopsBetweenBlocksAndLeavesNoTarget) {
  Copier copier;
  HANDLE thread;
  const bool caught = StartCaughtInCopy(copier, &thread);
  ASSERT_TRUE(TerminateThread(thread, 1006));
  ASSERT_EQ(WaitForSingleObject(thread, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
  if (!caught) GTEST_SKIP() << "the copy ended before it could be caught";
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, 1006u);
  EXPECT_FALSE(copier.returned) << "the worker ran code after CopyFileA";
  EXPECT_TRUE(OutEntries().empty()) << "a partial target or temporary file was left";
  EXPECT_TRUE(w98::testing::UnnamedFilesBeingWritten(machine_.OnC("OUT")).empty())
      << "the partial copy is still open";
  CloseHandle(thread);
}

}  // namespace
