// A capacity for drive C: in machine.ini makes the disk fill up: writes that would pass it fail
// with ERROR_DISK_FULL and leave nothing half-written; the free space reported follows it.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/machine.h"
#include "fs/capacity.h"
#include "fs_test_support.h"
#include "temp_machine.h"
#include "w98/io.h"
#include "w98/windows.h"

namespace w98::testing {
namespace {

class CapacityTest : public ::testing::Test {
 protected:
  static void SetCapacity(std::uint64_t bytes) {
    ASSERT_TRUE(internal::Machine::Current()->WriteSetting("capacity", "C", std::to_string(bytes)));
  }
  // Free bytes of C: as GetDiskFreeSpaceExA reports them (both of its free figures agree).
  static std::uint64_t FreeOnC(std::uint64_t* total = nullptr) {
    ULARGE_INTEGER avail, all, free;
    avail.QuadPart = all.QuadPart = free.QuadPart = 0xdeadbeef;
    EXPECT_TRUE(GetDiskFreeSpaceExA("C:\\WINDOWS", &avail, &all, &free));
    EXPECT_EQ(avail.QuadPart, free.QuadPart);
    if (total) *total = all.QuadPart;
    return free.QuadPart;
  }
  // Bytes of the files on drive C:, counted on the host.
  std::uint64_t HostUse() const {
    std::uint64_t used = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(machine_.OnC("")))
      if (e.is_regular_file() && !e.is_symlink()) used += e.file_size();
    return used;
  }
  // Gives C: a capacity that leaves exactly `room` bytes free.
  void LeaveRoom(std::uint64_t room) {
    SetCapacity(HostUse() + room);
    ASSERT_EQ(FreeOnC(), room);
  }
  static int WriteBytes(int fd, size_t n) {
    const std::string bytes(n, 'b');
    return _write(fd, bytes.data(), static_cast<unsigned>(n));
  }
  TempMachine machine_;
};

TEST_F(CapacityTest, FreeSpaceIsTheCapacityLessWhatTheDriveHolds) {
  SetCapacity(1ULL << 30);
  std::uint64_t total = 0;
  const std::uint64_t before = FreeOnC(&total);
  EXPECT_EQ(total, 1ULL << 30);
  EXPECT_EQ(before, (1ULL << 30) - HostUse());
  machine_.WriteFile("beside.bin", std::string(12345, 'x'));  // written beside w98
  EXPECT_EQ(FreeOnC(), before - 12345);
  SetCapacity(0);  // no capacity: the host's own figures
  EXPECT_GT(FreeOnC(&total), 0u);
  EXPECT_NE(total, 1ULL << 30);
  EXPECT_FALSE(internal::DriveHasCapacity('C'));
}

TEST_F(CapacityTest, AFullDiskRefusesWritesAndLeavesNoPartialFile) {
  LeaveRoom(10000);
  const int fd = _open("C:\\grow.bin", _O_WRONLY | _O_CREAT | _O_BINARY, _S_IWRITE);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(WriteBytes(fd, 6000), 6000);
  SetLastError(0xdeadbeef);
  errno = 0;
  EXPECT_EQ(WriteBytes(fd, 6000), -1);
  EXPECT_EQ(errno, ENOSPC);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(_filelength(fd), 6000) << "nothing of the refused write may land";
  // Overwriting in place needs no room.
  _lseek(fd, 0, _SEEK_SET);
  EXPECT_EQ(WriteBytes(fd, 6000), 6000);
  EXPECT_EQ(_close(fd), 0);
  EXPECT_EQ(FreeOnC(), 4000u);

  machine_.WriteFile("big.src", std::string(20000, 's'));
  LeaveRoom(10000);
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(CopyFileA("C:\\big.src", "C:\\WINDOWS\\big.cpy", FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(FindNames("C:\\WINDOWS\\big*"), std::vector<std::string>{});
  for (const auto& e : std::filesystem::directory_iterator(machine_.OnC("WINDOWS")))
    EXPECT_EQ(e.path().filename().string().find("w98-copy"), std::string::npos) << e.path();
  EXPECT_EQ(FreeOnC(), 10000u) << "a refused copy takes no space";

  // Replacing a larger file needs no room at all; deleting gives room back.
  machine_.WriteFile("small.src", std::string(100, 's'));
  LeaveRoom(0);
  EXPECT_TRUE(CopyFileA("C:\\small.src", "C:\\big.src", FALSE));
  EXPECT_EQ(machine_.ReadFile("big.src").size(), 100u);
  EXPECT_TRUE(DeleteFileA("C:\\grow.bin"));
  EXPECT_EQ(FreeOnC(), 19900u + 6000u);
}

// A charge too small or too large goes unnoticed by the calls (a write is refused only on a
// fresh count), so the shared record itself is checked: it holds what the drive holds.
TEST_F(CapacityTest, ACopyChargesWhatItAdds) {
  const auto recorded_use = [&] {
    std::ifstream record(machine_.Root() / "run" / "capacity-C");
    std::int64_t stamp = 0;
    std::uint64_t used = 0;
    record >> stamp >> used;
    return used;
  };
  machine_.WriteFile("six.src", std::string(6000, 's'));
  machine_.WriteFile("one.src", std::string(1000, 'o'));
  LeaveRoom(10000);
  ASSERT_TRUE(CopyFileA("C:\\six.src", "C:\\WINDOWS\\six.cpy", FALSE));
  EXPECT_EQ(recorded_use(), HostUse());
  ASSERT_TRUE(CopyFileA("C:\\one.src", "C:\\WINDOWS\\six.cpy", FALSE));  // 5000 fewer
  EXPECT_EQ(recorded_use(), HostUse());
  ASSERT_TRUE(CopyFileA("C:\\six.src", "C:\\WINDOWS\\one.cpy", FALSE));
  EXPECT_EQ(recorded_use(), HostUse());
}

TEST_F(CapacityTest, SpaceFreedBesideW98IsFoundBeforeAWriteIsRefused) {
  machine_.WriteFile("filler.bin", std::string(50000, 'f'));
  LeaveRoom(100);
  const int fd = _open("C:\\new.bin", _O_WRONLY | _O_CREAT | _O_BINARY, _S_IWRITE);
  ASSERT_GE(fd, 0);
  std::filesystem::remove(machine_.OnC("filler.bin"));  // another program makes room
  EXPECT_EQ(WriteBytes(fd, 30000), 30000);
  _close(fd);
}

TEST_F(CapacityTest, ProcessesOfTheMachineShareOneCount) {
  LeaveRoom(10000);
  const pid_t child = ::fork();
  if (child == 0) {
    const int fd = _open("C:\\child.bin", _O_WRONLY | _O_CREAT | _O_BINARY, _S_IWRITE);
    const bool ok = fd >= 0 && WriteBytes(fd, 7000) == 7000 && _close(fd) == 0;
    ::_exit(ok ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const int fd = _open("C:\\parent.bin", _O_WRONLY | _O_CREAT | _O_BINARY, _S_IWRITE);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(WriteBytes(fd, 7000), -1) << "the child's 7000 bytes count here too";
  EXPECT_EQ(WriteBytes(fd, 3000), 3000);
  _close(fd);
}

TEST_F(CapacityTest, OtherModulesChargeWholeFileRewrites) {
  machine_.WriteFile("WINDOWS/WIN.INI", std::string(1000, 'w'));
  LeaveRoom(500);
  const auto ini = machine_.OnC("WINDOWS/WIN.INI");
  EXPECT_EQ(internal::DriveOfHostPath(ini), 'C');
  EXPECT_EQ(internal::DriveOfHostPath("/etc/passwd"), '\0');
  // A writer charges a rewrite, then makes it.
  ASSERT_EQ(internal::ChargeFileRewrite(ini, 1400), static_cast<DWORD>(ERROR_SUCCESS));
  machine_.WriteFile("WINDOWS/WIN.INI", std::string(1400, 'w'));
  EXPECT_EQ(internal::ChargeFileRewrite(ini, 1600), static_cast<DWORD>(ERROR_DISK_FULL));
  ASSERT_EQ(internal::ChargeFileRewrite(machine_.OnC("new.ini"), 100),
            static_cast<DWORD>(ERROR_SUCCESS));
  machine_.WriteFile("new.ini", std::string(100, 'n'));
  EXPECT_EQ(internal::ChargeFileRewrite(machine_.OnC("new2.ini"), 1),
            static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(internal::ChargeFileRewrite(ini, 10), static_cast<DWORD>(ERROR_SUCCESS)) << "shrinking";
}

TEST_F(CapacityTest, GetDiskFreeSpaceReportsAsWindows98) {
  LeaveRoom(3145728);
  DWORD sectors = 0xdeadbeef, bytes = 0xdeadbeef, free = 0xdeadbeef, total = 0xdeadbeef;
  ASSERT_TRUE(GetDiskFreeSpaceA("c:\\", &sectors, &bytes, &free, &total));
  EXPECT_EQ(static_cast<std::uint64_t>(sectors) * bytes * free, 3145728u);
  // Without a capacity the host's disk is larger than 2 GB: Windows 98 shows 2 GB at most.
  SetCapacity(0);
  ASSERT_TRUE(GetDiskFreeSpaceA("C:\\", &sectors, &bytes, &free, &total));
  EXPECT_LE(static_cast<std::uint64_t>(sectors) * bytes * total, 2ULL << 30);
  EXPECT_LE(total, 65536u);
  EXPECT_LE(free, total);
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(GetDiskFreeSpaceA("C:", &sectors, &bytes, &free, &total));  // needs "C:\"
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(GetDiskFreeSpaceA("Q:\\", &sectors, &bytes, &free, &total));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(CapacityTest, DrivesAndTheirKinds) {
  EXPECT_EQ(GetLogicalDrives(), 0x0Du);  // A:, C: and D:
  struct Case {
    const char* root;
    UINT kind;
  } cases[] = {
      {"A:\\", DRIVE_REMOVABLE}, {"c:\\", DRIVE_FIXED},       {"C:", DRIVE_FIXED},
      {"D:/", DRIVE_CDROM},      {"E:\\", DRIVE_NO_ROOT_DIR}, {"C:\\WINDOWS", DRIVE_NO_ROOT_DIR},
      {nullptr, DRIVE_FIXED},  // the current folder's drive
  };
  for (const Case& c : cases)
    EXPECT_EQ(GetDriveTypeA(c.root), c.kind) << (c.root ? c.root : "NULL");
  std::filesystem::create_directory(machine_.Root() / "e");
  ASSERT_TRUE(internal::Machine::Current()->WriteSetting("drives", "E", "cdrom"));
  ASSERT_TRUE(internal::Machine::Current()->WriteSetting("drives", "D", "fixed"));
  EXPECT_EQ(GetDriveTypeA("E:\\"), static_cast<UINT>(DRIVE_CDROM));
  EXPECT_EQ(GetDriveTypeA("D:\\"), static_cast<UINT>(DRIVE_FIXED));
  EXPECT_EQ(GetLogicalDrives(), 0x1Du);
}

}  // namespace
}  // namespace w98::testing
