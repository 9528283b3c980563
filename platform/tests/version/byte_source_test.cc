// A file read through its window answers every read exactly as the same bytes in memory do,
// also across the window's edges, at the end of the file, and after the file shrank.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "version/byte_source.h"

namespace w98::testing {
namespace {

using internal::FileSource;
using internal::MemorySource;

class ByteSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/w98-bytes-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder_ = pattern;
    dir_fd_ = ::open(pattern, O_PATH | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(dir_fd_, 0);
  }
  void TearDown() override {
    if (dir_fd_ >= 0) ::close(dir_fd_);
    std::filesystem::remove_all(folder_);
  }
  void WriteFile(const std::string& bytes) {
    std::ofstream(folder_ / "f", std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  std::filesystem::path folder_;
  int dir_fd_ = -1;
};

TEST_F(ByteSourceTest, FileReadsAnswerAsMemoryReads) {
  std::mt19937 random(7);
  std::string bytes(3 * FileSource::kWindow + 123, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  WriteFile(bytes);
  FileSource file(dir_fd_, "f");
  ASSERT_TRUE(file.Ok());
  ASSERT_EQ(file.Size(), bytes.size());
  const MemorySource memory(bytes);

  const size_t size = bytes.size();
  const size_t half = FileSource::kWindow / 2;
  // Reads around the window's edges, the largest windowed read and the smallest direct one,
  // reads at and past the end, and then reads all over the file in no order.
  std::vector<std::pair<std::uint64_t, size_t>> reads = {
      {0, 2},        {4094, 4},   {4095, 2},       {4096, 8},     {511, 2},
      {512, half},   {513, half}, {100, half + 1}, {0, size},     {size - 2, 2},
      {size - 1, 2}, {size, 0},   {size, 1},       {size + 5, 1}, {3 * 4096 - 1, 3},
      {8000, 0},     {2, 4},      {0, 4},          {60, 4},       {4000, 200}};
  for (int i = 0; i < 2000; ++i)
    reads.emplace_back(random() % (size + 8), random() % 2 == 0 ? random() % 16 : random() % 5000);
  for (const auto& [offset, n] : reads) {
    std::string from_file(n, 'x'), from_memory(n, 'x');
    const bool file_ok = file.Read(offset, from_file.data(), n);
    const bool memory_ok = memory.Read(offset, from_memory.data(), n);
    ASSERT_EQ(file_ok, memory_ok) << offset << " + " << n;
    if (memory_ok) {
      ASSERT_EQ(from_file, from_memory) << offset << " + " << n;
    }
  }
}

TEST_F(ByteSourceTest, AFileThatShrankAnswersWhatItStillHolds) {
  WriteFile(std::string(5000, 'a') + std::string(5000, 'b'));
  FileSource file(dir_fd_, "f");
  ASSERT_TRUE(file.Ok());
  ASSERT_EQ(::truncate((folder_ / "f").c_str(), 3000), 0);
  char two[2] = {};
  EXPECT_TRUE(file.Read(100, two, 2));  // its window ends early, but holds the read
  EXPECT_EQ(std::string(two, 2), "aa");
  EXPECT_TRUE(file.Read(2998, two, 2));
  EXPECT_FALSE(file.Read(2999, two, 2));  // one byte of it is gone
  EXPECT_FALSE(file.Read(7000, two, 2));
  std::string big(3000, '\0');
  EXPECT_FALSE(file.Read(1000, big.data(), big.size()));  // a direct read past the new end
}

}  // namespace
}  // namespace w98::testing
