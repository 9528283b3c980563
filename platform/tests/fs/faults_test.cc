// The copy fault switch of <w98/faults.h>, in this process and in a child of the machine.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "fs_test_support.h"
#include "temp_machine.h"
#include "w98/faults.h"
#include "w98/windows.h"

namespace w98::testing {
namespace {

class FaultsTest : public ::testing::Test {
 protected:
  void SetUp() override { machine_.WriteFile("src.txt", "payload"); }
  TempMachine machine_;
};

TEST_F(FaultsTest, TheNthCopyFailsWithRoomOnTheDiskAndLeavesNoTarget) {
  ASSERT_TRUE(FailNthCopy(2, ERROR_WRITE_FAULT));
  EXPECT_EQ(PendingCopyFault(), 2u);
  ASSERT_TRUE(CopyFileA("C:\\src.txt", "C:\\one.txt", TRUE));
  EXPECT_EQ(PendingCopyFault(), 1u);
  // A copy refused before it starts does not count.
  EXPECT_FALSE(CopyFileA("C:\\src.txt", "C:\\one.txt", TRUE));
  EXPECT_EQ(PendingCopyFault(), 1u);
  machine_.WriteFile("two.txt", "old contents");
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(CopyFileA("C:\\src.txt", "C:\\two.txt", FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
  EXPECT_EQ(machine_.ReadFile("two.txt"), "old contents");
  EXPECT_TRUE(CopyFileA("C:\\src.txt", "C:\\three.txt", TRUE)) << "only one copy fails";
  EXPECT_EQ(PendingCopyFault(), 0u);
  for (const auto& e : std::filesystem::directory_iterator(machine_.OnC("")))
    EXPECT_EQ(e.path().filename().string().find(':'), std::string::npos) << e.path();
}

TEST_F(FaultsTest, HoldsForChildProcessesOfTheMachine) {
  ASSERT_TRUE(FailNthCopy(1));
  const pid_t child = ::fork();
  if (child == 0) {
    const bool failed = !CopyFileA("C:\\src.txt", "C:\\child.txt", FALSE) &&
                        GetLastError() == ERROR_SHARING_VIOLATION;
    ::_exit(failed ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child's copy should fail";
  EXPECT_FALSE(std::filesystem::exists(machine_.OnC("child.txt")));
  EXPECT_TRUE(CopyFileA("C:\\src.txt", "C:\\parent.txt", FALSE)) << "the switch was used up";

  ASSERT_TRUE(FailNthCopy(1));
  ClearFaults();
  EXPECT_EQ(PendingCopyFault(), 0u);
  EXPECT_TRUE(CopyFileA("C:\\src.txt", "C:\\cleared.txt", FALSE));
}

// This process copies first, with no switch set; a child then sets one. The next copy here
// must see it at once, and once it is used up here, the child's later copies go through.
TEST_F(FaultsTest, ASwitchSetByAnotherProcessHoldsHereAtOnce) {
  ASSERT_TRUE(CopyFileA("C:\\src.txt", "C:\\before.txt", FALSE));
  const auto in_child = [](const auto& action) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(action() ? 0 : 1);
    int status = -1;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  };
  ASSERT_TRUE(in_child([] { return FailNthCopy(2, ERROR_WRITE_FAULT); }));
  EXPECT_TRUE(CopyFileA("C:\\src.txt", "C:\\first.txt", FALSE));
  SetLastError(0);
  EXPECT_FALSE(CopyFileA("C:\\src.txt", "C:\\second.txt", FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
  EXPECT_TRUE(in_child([] { return CopyFileA("C:\\src.txt", "C:\\child.txt", FALSE) != 0; }));
  // Cleared in a child: this process's copies go through again.
  ASSERT_TRUE(FailNthCopy(1));
  ASSERT_TRUE(in_child([] {
    ClearFaults();
    return true;
  }));
  EXPECT_TRUE(CopyFileA("C:\\src.txt", "C:\\cleared.txt", FALSE));
}

}  // namespace
}  // namespace w98::testing
