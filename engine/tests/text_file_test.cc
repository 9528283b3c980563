// The buffered work files of a save: what they hold back reaches the file in order, before a
// rewind and at the close, and a full disk is reported when the held text is written.
#include <gtest/gtest.h>

#include <string>

#include <w98/windows.h>

#include "core/machine.h"
#include "temp_machine.h"
#include "text_file.h"

namespace snapshot {
namespace {

class BufferedTextFileTest : public ::testing::Test {
 protected:
  // Limits drive C: to what it holds now plus `room` bytes.
  void LeaveRoom(unsigned long long room) {
    ASSERT_TRUE(w98::internal::Machine::Current()->WriteSetting("capacity", "C", "1000000000"));
    ULARGE_INTEGER free{}, total{};
    ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\", &free, &total, nullptr));
    ASSERT_TRUE(w98::internal::Machine::Current()->WriteSetting(
        "capacity", "C", std::to_string(total.QuadPart - free.QuadPart + room)));
  }

  w98::testing::TempMachine machine_;
};

TEST_F(BufferedTextFileTest, HeldTextReachesTheFileInOrder) {
  TextFile file(TextFile::Writes::kBuffered);
  ASSERT_TRUE(file.Create("C:\\WORK.TXT"));
  ASSERT_TRUE(file.Write("PLACEHOLDER\n"));
  ASSERT_TRUE(file.Write("second\n"));
  EXPECT_EQ(machine_.ReadFile("WORK.TXT"), "") << "written before it was flushed";
  // A rewind writes what is held first, so the overwrite lands on it.
  ASSERT_TRUE(file.Rewind());
  ASSERT_TRUE(file.Write("replacement\n"));
  file.Close();
  EXPECT_EQ(machine_.ReadFile("WORK.TXT"), "replacement\r\nsecond\r\n");
}

TEST_F(BufferedTextFileTest, LargeTextIsWrittenAsItGrows) {
  TextFile file(TextFile::Writes::kBuffered);
  ASSERT_TRUE(file.Create("C:\\WORK.TXT"));
  const std::string line(99, 'x');
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(file.Write(line + "\n"));
  EXPECT_GT(machine_.ReadFile("WORK.TXT").size(), 64u * 1024) << "held past its limit";
  ASSERT_TRUE(file.Flush());
  EXPECT_EQ(machine_.ReadFile("WORK.TXT").size(), 1000u * 101);
}

TEST_F(BufferedTextFileTest, AFullDiskIsReportedWhenTheHeldTextIsWritten) {
  TextFile file(TextFile::Writes::kBuffered);
  ASSERT_TRUE(file.Create("C:\\WORK.TXT"));
  LeaveRoom(100);
  ASSERT_TRUE(file.Write(std::string(500, 'x'))) << "held, not yet written";
  EXPECT_FALSE(file.Flush());
  EXPECT_EQ(file.last_error(), static_cast<unsigned long>(ERROR_DISK_FULL));
}

}  // namespace
}  // namespace snapshot
