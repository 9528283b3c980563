// The save's copier: results come back in the order the copies were handed over, at most the
// depth is outstanding, and the engine's control reaches the copier.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <w98/windows.h>

#include "copy_thread.h"
#include "temp_machine.h"

namespace snapshot {
namespace {

class CopyThreadTest : public ::testing::Test {
 protected:
  w98::testing::TempMachine machine_;
};

TEST_F(CopyThreadTest, ResultsComeBackInTheOrderTheCopiesWereHandedOver) {
  // A large copy first, then one that fails at once: the save must see the large copy's result
  // first, however the copies are spread over threads.
  machine_.WriteFile("big.dat", std::string(64 << 20, 'b'));
  machine_.WriteFile("small.dat", "s");
  std::vector<HANDLE> attached;
  bool detached = false;
  {
    CopyThread copier;
    copier.Start({[&](HANDLE copier_thread) { attached.push_back(copier_thread); },
                  [&] { detached = true; }});
    EXPECT_FALSE(attached.empty());
    copier.Push({"C:\\big.dat", "C:\\big.copy"});
    copier.Push({"C:\\missing.dat", "C:\\missing.copy"});
    copier.Push({"C:\\small.dat", "C:\\small.copy"});
    EXPECT_EQ(copier.Take(), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(copier.Take(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(copier.Take(), DWORD(ERROR_SUCCESS));
    EXPECT_FALSE(detached);
  }
  EXPECT_TRUE(detached);
  EXPECT_EQ(machine_.ReadFile("small.copy"), "s");
  EXPECT_EQ(machine_.ReadFile("big.copy").size(), size_t(64) << 20);
}

TEST_F(CopyThreadTest, AtMostTheDepthIsOutstanding) {
  machine_.WriteFile("one.dat", "1");
  CopyThread copier;
  copier.Start({});
  for (size_t i = 0; i < CopyThread::kDepth; ++i) {
    EXPECT_FALSE(copier.Full());
    copier.Push({"C:\\one.dat", "C:\\copy" + std::to_string(i) + ".dat"});
  }
  EXPECT_TRUE(copier.Full());
  EXPECT_EQ(copier.Take(), DWORD(ERROR_SUCCESS));
  EXPECT_FALSE(copier.Full());
  for (size_t i = 1; i < CopyThread::kDepth; ++i) EXPECT_EQ(copier.Take(), DWORD(ERROR_SUCCESS));
}

}  // namespace
}  // namespace snapshot
