// Draining a change-notification queue: every event once, in order, however many reads it takes.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fs/host_calls.h"
#include "fs/unique_fd.h"

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

}  // namespace
}  // namespace w98::internal
