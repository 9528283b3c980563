// The C runtime's low-level file calls over DOS paths.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/machine.h"
#include "temp_machine.h"
#include "w98/io.h"
#include "w98/windows.h"

namespace w98::testing {
namespace {

class LowIoTest : public ::testing::Test {
 protected:
  // Writes `text` through a descriptor and returns what _write answered.
  static int Write(int fd, const std::string& text) {
    return _write(fd, text.data(), static_cast<unsigned>(text.size()));
  }
  TempMachine machine_;
};

TEST_F(LowIoTest, TextModeWritesCrLfAndPositionsCountBytesOnDisk) {
  const int fd = _open("C:\\WINDOWS\\TEMP\\tempboot", _O_WRONLY | _O_CREAT | _O_TRUNC, _S_IWRITE);
  ASSERT_GE(fd, 0);
  const std::string placeholder = "\nREM \nREM \nREM \nREM \n";
  EXPECT_EQ(Write(fd, placeholder), 21);  // characters taken from the buffer
  EXPECT_EQ(_tell(fd), 26);               // bytes on disk: five CR LF pairs and four "REM "
  EXPECT_EQ(Write(fd, "\nREM COMMENTS=x\n"), 16);
  EXPECT_EQ(Write(fd, "copy a b\n"), 9);
  EXPECT_EQ(_tell(fd), 26 + 18 + 10);
  EXPECT_EQ(_filelength(fd), 54);
  // Back to the start: the replacement has the same length on disk, so nothing else moves.
  EXPECT_EQ(_lseek(fd, 0, _SEEK_SET), 0);
  EXPECT_EQ(Write(fd, "@echo off\nREM TIME=123456"), 25);
  EXPECT_EQ(_tell(fd), 26);
  EXPECT_EQ(_close(fd), 0);
  EXPECT_EQ(machine_.ReadFile("WINDOWS/TEMP/tempboot"),
            "@echo off\r\nREM TIME=123456\r\nREM COMMENTS=x\r\ncopy a b\r\n");
}

TEST_F(LowIoTest, TextModeReadsFoldCrLfAndStopAtCtrlZ) {
  machine_.WriteFile("text.txt", std::string("one\r\ntwo\rthree\r\n\r\nend\x1A"
                                             "after"));
  const int fd = _open("C:\\text.txt", _O_RDONLY);
  ASSERT_GE(fd, 0);
  // Read in pieces of every size so that a CR LF falls across the end of a read.
  std::string all;
  char buf[4];
  int n;
  while ((n = _read(fd, buf, 3)) > 0) all.append(buf, static_cast<size_t>(n));
  EXPECT_EQ(n, 0);
  EXPECT_EQ(all, "one\ntwo\rthree\n\nend");
  EXPECT_EQ(_read(fd, buf, 3), 0) << "every read stops at the Ctrl-Z";
  EXPECT_EQ(_tell(fd), 21) << "the position stays on the Ctrl-Z";
  _close(fd);

  const int bin = _open("C:\\text.txt", _O_RDONLY | _O_BINARY);
  char raw[64];
  EXPECT_EQ(_read(bin, raw, sizeof raw), 27);
  EXPECT_EQ(std::string(raw, 5), "one\r\n");
  _close(bin);
}

TEST_F(LowIoTest, BinaryModeAndOpenFlags) {
  int fd = _open("C:\\data.bin", _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Write(fd, "a\nb\n"), 4);
  EXPECT_EQ(_tell(fd), 4);
  EXPECT_EQ(_lseek(fd, -2, _SEEK_END), 2);
  char buf[8] = {};
  EXPECT_EQ(_read(fd, buf, sizeof buf), 2);
  EXPECT_STREQ(buf, "b\n");
  EXPECT_EQ(_commit(fd), 0);
  EXPECT_EQ(_close(fd), 0);
  EXPECT_EQ(machine_.ReadFile("data.bin"), "a\nb\n");

  errno = 0;
  EXPECT_EQ(_open("C:\\DATA.BIN", _O_WRONLY | _O_CREAT | _O_EXCL, _S_IWRITE), -1);
  EXPECT_EQ(errno, EEXIST);
  errno = 0;
  EXPECT_EQ(_open("C:\\absent.bin", _O_RDONLY), -1);
  EXPECT_EQ(errno, ENOENT);
  errno = 0;
  EXPECT_EQ(_open("C:\\no\\absent.bin", _O_WRONLY | _O_CREAT, _S_IWRITE), -1);
  EXPECT_EQ(errno, ENOENT);
  errno = 0;
  EXPECT_EQ(_open("C:\\WINDOWS", _O_RDONLY), -1);
  EXPECT_EQ(errno, EACCES);

  fd = _open("C:\\data.bin", _O_WRONLY | _O_APPEND | _O_BINARY);
  ASSERT_GE(fd, 0);
  _lseek(fd, 0, _SEEK_SET);
  EXPECT_EQ(Write(fd, "c"), 1);
  errno = 0;
  EXPECT_EQ(_read(fd, buf, 1), -1) << "a file opened for writing only cannot be read";
  EXPECT_EQ(errno, EBADF);
  _close(fd);
  EXPECT_EQ(machine_.ReadFile("data.bin"), "a\nb\nc");

  errno = 0;
  EXPECT_EQ(_close(fd), -1);
  EXPECT_EQ(errno, EBADF);
  EXPECT_EQ(_write(fd, "x", 1), -1);
  EXPECT_EQ(_lseek(fd, 0, _SEEK_SET), -1);
}

TEST_F(LowIoTest, WritesSetTheArchiveBitAndTheMachineClocksTime) {
  // The machine's clock runs ten days behind the host's.
  ASSERT_TRUE(internal::Machine::Current()->WriteSetting("clock", "offset", "-864000"));
  machine_.WriteFile("old.txt", "old");
  ::lsetxattr(machine_.OnC("old.txt").c_str(), "user.DOSATTRIB", "0x00", 4, 0);
  int fd = _open("C:\\old.txt", _O_RDONLY);
  _close(fd);
  EXPECT_EQ(GetFileAttributesA("C:\\old.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL))
      << "reading changes nothing";
  fd = _open("C:\\old.txt", _O_WRONLY | _O_APPEND);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(_write(fd, "er", 2), 2);
  EXPECT_EQ(_close(fd), 0);
  EXPECT_EQ(GetFileAttributesA("C:\\old.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  struct stat st {};
  ASSERT_EQ(::stat(machine_.OnC("old.txt").c_str(), &st), 0);
  const long behind = static_cast<long>(::time(nullptr) - st.st_mtime);
  EXPECT_NEAR(behind, 864000, 60) << "last-write time should follow the machine's clock";

  // A file created without _S_IWRITE becomes read-only when it is closed.
  fd = _open("C:\\ro.txt", _O_WRONLY | _O_CREAT, _S_IREAD);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(_write(fd, "x", 1), 1);
  EXPECT_EQ(_close(fd), 0);
  EXPECT_EQ(GetFileAttributesA("C:\\ro.txt"),
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
}

TEST_F(LowIoTest, DescriptorsAreSharedSafelyBetweenThreads) {
  std::vector<std::thread> threads;
  std::vector<int> results(8, -1);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &results] {
      const std::string name = "C:\\thread" + std::to_string(t) + ".txt";
      int ok = 0;
      for (int i = 0; i < 50; ++i) {
        const int fd = _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_APPEND | _O_BINARY, _S_IWRITE);
        if (fd < 0) return;
        ok += _write(fd, "0123456789", 10) == 10;
        _close(fd);
      }
      results[static_cast<size_t>(t)] = ok;
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < 8; ++t) {
    EXPECT_EQ(results[static_cast<size_t>(t)], 50) << t;
    EXPECT_EQ(machine_.ReadFile("thread" + std::to_string(t) + ".txt").size(), 500u) << t;
  }
}

}  // namespace
}  // namespace w98::testing
