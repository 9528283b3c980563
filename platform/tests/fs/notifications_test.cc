// Draining a change-notification queue: every event once, in order, however many reads it takes,
// and on the smallest stack a thread can have.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fs/host_calls.h"
#include "fs/unique_fd.h"
#include "temp_machine.h"
#include "w98/windows.h"

namespace w98::internal {
namespace {

namespace fs = std::filesystem;

class DrainNotificationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("w98-notify-" + std::to_string(::getpid()));
    fs::create_directories(folder_);
    queue_.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    ASSERT_TRUE(queue_.valid());
    ASSERT_GE(::inotify_add_watch(queue_.get(), folder_.c_str(), IN_CREATE), 0);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::vector<std::string> Drain() {
    std::vector<std::string> names;
    DrainNotifications(queue_.get(), [&](const inotify_event& e) {
      if (e.len != 0) names.emplace_back(e.name);
    });
    return names;
  }

  fs::path folder_;
  UniqueFd queue_;
};

TEST_F(DrainNotificationsTest, HandsOverABurstLargerThanOneReadOnceAndInOrder) {
  // Long names make each event about 220 bytes: 1,500 of them need several reads.
  std::vector<std::string> made;
  for (int i = 0; i < 1500; ++i) {
    made.push_back(std::string(190, 'n') + std::to_string(i));
    std::ofstream(folder_ / made.back()) << "x";
  }
  EXPECT_EQ(Drain(), made);
  EXPECT_TRUE(Drain().empty());

  std::ofstream(folder_ / "later") << "x";
  EXPECT_EQ(Drain(), std::vector<std::string>{"later"});
}

// Every file call drains the queue first, so its buffer is on the stack of whichever thread
// calls: a program may give a thread as little as 64 KiB.
TEST(DrainNotifications, FileCallsRunOnTheSmallestStack) {
  w98::testing::TempMachine machine;
  machine.WriteFile("SMALL/first.txt", "x");
  struct Work {
    int found = 0;
  } work;
  const auto run = [](LPVOID parameter) -> DWORD {
    auto* w = static_cast<Work*>(parameter);
    for (int i = 0; i < 200; ++i) {
      // Each new file queues a notification; each look for a missing name drains them.
      const std::string made = "C:\\SMALL\\made" + std::to_string(i) + ".txt";
      if (!CopyFileA("C:\\SMALL\\first.txt", made.c_str(), TRUE)) return 1;
      if (GetFileAttributesA("C:\\SMALL\\missing.txt") != INVALID_FILE_ATTRIBUTES) return 2;
      if (GetFileAttributesA(made.c_str()) != INVALID_FILE_ATTRIBUTES) ++w->found;
    }
    return 0;
  };
  HANDLE thread = CreateThread(nullptr, 65536, run, &work, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
  DWORD code = 99;
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  CloseHandle(thread);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(work.found, 200);
}

}  // namespace
}  // namespace w98::internal
