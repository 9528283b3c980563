// CopyFileA: what the copy keeps, the Windows 98 answers, and that a failed copy leaves
// nothing behind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/machine.h"

#include "fs_test_support.h"
#include "temp_machine.h"
#include "w98/windows.h"

namespace w98::testing {
namespace {

// Every host entry of a folder, hidden ones included.
std::vector<std::string> HostEntries(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class CopyTest : public ::testing::Test {
 protected:
  TempMachine machine_;
};

TEST_F(CopyTest, KeepsTheSourcesWriteTimeAndAttributes) {
  const std::string bytes(1'000'003, 'q');  // several blocks, not a multiple of one
  machine_.WriteFile("data/source.dat", bytes);
  SetHostMtime(machine_.OnC("data/source.dat"), 912345678);
  SetHostDosAttrib(machine_.OnC("data/source.dat"), "0x07");
  std::filesystem::create_directory(machine_.OnC("backup"));
  ASSERT_TRUE(CopyFileA("C:\\DATA\\SOURCE.DAT", "C:\\backup\\Copy.Dat", TRUE));
  EXPECT_EQ(machine_.ReadFile("backup/Copy.Dat"), bytes);  // created as the caller spelled it
  EXPECT_EQ(GetFileAttributesA("C:\\backup\\copy.dat"),
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                               FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
  WIN32_FIND_DATAA source, copy;
  FindClose(FindFirstFileA("C:\\data\\source.dat", &source));
  FindClose(FindFirstFileA("C:\\backup\\copy.dat", &copy));
  EXPECT_EQ(AsUint64(copy.ftLastWriteTime), AsUint64(source.ftLastWriteTime));
  EXPECT_EQ(AsUint64(copy.ftLastWriteTime), FileTimeOfUnix(912345678));
  EXPECT_EQ(HostEntries(machine_.OnC("backup")), std::vector<std::string>{"Copy.Dat"});
}

TEST_F(CopyTest, ACopyOfAFileWithoutAttributesReadsAsArchiveOnly) {
  machine_.WriteFile("plain.txt", "plain");
  machine_.WriteFile("cleared.txt", "cleared");
  SetHostDosAttrib(machine_.OnC("cleared.txt"), "0x00");
  machine_.WriteFile("target.txt", "old");
  SetHostDosAttrib(machine_.OnC("target.txt"), "0x04");
  ASSERT_TRUE(CopyFileA("C:\\plain.txt", "C:\\fresh.txt", TRUE));
  ASSERT_TRUE(CopyFileA("C:\\cleared.txt", "C:\\from-cleared.txt", TRUE));
  ASSERT_TRUE(CopyFileA("C:\\plain.txt", "C:\\target.txt", FALSE));  // replaces a system file
  for (const char* copy : {"C:\\fresh.txt", "C:\\from-cleared.txt", "C:\\target.txt"})
    EXPECT_EQ(GetFileAttributesA(copy), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE)) << copy;
  EXPECT_EQ(machine_.ReadFile("target.txt"), "plain");
}

TEST_F(CopyTest, CopiesInAProcessWithoutPrivileges) {
  // A copy is linked into place straight from its descriptor where the process may do so, and
  // through /proc where it may not (an ordinary user's process): both must make the copy.
  machine_.WriteFile("plain.txt", "plain bytes");
  const pid_t child = ::fork();
  if (child == 0) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[2] = {};
    if (::syscall(SYS_capset, &header, none) != 0) ::_exit(2);
    const bool copied = CopyFileA("C:\\plain.txt", "C:\\first.txt", TRUE) &&
                        CopyFileA("C:\\plain.txt", "C:\\second.txt", TRUE);
    ::_exit(copied ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(machine_.ReadFile("first.txt"), "plain bytes");
  EXPECT_EQ(machine_.ReadFile("second.txt"), "plain bytes");
  EXPECT_TRUE(CopyFileA("C:\\plain.txt", "C:\\third.txt", TRUE));
  EXPECT_EQ(machine_.ReadFile("third.txt"), "plain bytes");
}

TEST_F(CopyTest, GivesTheWindows98Answers) {
  machine_.WriteFile("a.txt", "aaa");
  machine_.WriteFile("b.txt", "bbb");
  machine_.WriteFile("hidden.txt", "hhh");
  SetHostDosAttrib(machine_.OnC("hidden.txt"), "0x02");
  struct Case {
    const char* from;
    const char* to;
    BOOL fail_if_exists;
    DWORD error;
  } cases[] = {
      {"C:\\a.txt", "C:\\b.txt", TRUE, ERROR_FILE_EXISTS},
      {"C:\\a.txt", "C:\\B.TXT", TRUE, ERROR_FILE_EXISTS},
      {"C:\\a.txt", "C:\\a.txt", FALSE, ERROR_FILE_EXISTS},  // onto itself (NT: sharing violation)
      {"C:\\a.txt", "C:\\A.TXT", FALSE, ERROR_FILE_EXISTS},
      {"C:\\a.txt", "C:\\hidden.txt", FALSE, ERROR_ACCESS_DENIED},
      {"C:\\a.txt", "C:\\WINDOWS", FALSE, ERROR_ACCESS_DENIED},
      {"C:\\missing.txt", "C:\\new.txt", FALSE, ERROR_FILE_NOT_FOUND},
      {"C:\\nowhere\\a.txt", "C:\\new.txt", FALSE, ERROR_PATH_NOT_FOUND},
      {"C:\\a.txt", "C:\\nowhere\\new.txt", FALSE, ERROR_PATH_NOT_FOUND},
      {"C:\\WINDOWS", "C:\\new.txt", FALSE, ERROR_ACCESS_DENIED},
      {"C:\\a.txt", "C:\\bad?.txt", FALSE, ERROR_INVALID_NAME},
  };
  for (const Case& c : cases) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA(c.from, c.to, c.fail_if_exists)) << c.from << " -> " << c.to;
    EXPECT_EQ(GetLastError(), c.error) << c.from << " -> " << c.to;
  }
  EXPECT_EQ(machine_.ReadFile("b.txt"), "bbb");
  EXPECT_EQ(machine_.ReadFile("a.txt"), "aaa");
  EXPECT_EQ(machine_.ReadFile("hidden.txt"), "hhh");
  EXPECT_FALSE(std::filesystem::exists(machine_.OnC("new.txt")));

  // Replacing keeps the target's on-disk spelling.
  ASSERT_TRUE(CopyFileA("C:\\a.txt", "C:\\B.TXT", FALSE));
  EXPECT_EQ(machine_.ReadFile("b.txt"), "aaa");
  EXPECT_FALSE(std::filesystem::exists(machine_.OnC("B.TXT")));
}

TEST_F(CopyTest, CopiesEmptyFilesAndReplacesLargerOnes) {
  machine_.WriteFile("empty.txt", "");
  machine_.WriteFile("large.txt", std::string(5000, 'L'));
  ASSERT_TRUE(CopyFileA("C:\\empty.txt", "C:\\large.txt", FALSE));
  EXPECT_EQ(machine_.ReadFile("large.txt"), "");
  for (const std::string& name : HostEntries(machine_.OnC("")))
    EXPECT_EQ(name.find(':'), std::string::npos) << "a temporary file was left: " << name;
}

// True once some process waits for a flock (a blocked request shows as "->" in /proc/locks).
bool SomeoneWaitsForALock() {
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line))
    if (line.find("->") != std::string::npos && line.find("FLOCK") != std::string::npos)
      return true;
  return false;
}

TEST_F(CopyTest, AThreadStoppedBetweenBlocksLeavesNoPartialTarget) {
  machine_.WriteFile("big.bin", std::string(3 << 20, 'b'));  // a dozen blocks
  // With a capacity, the copy takes the drive's usage lock before it writes anything. Holding
  // that lock here parks the worker inside CopyFileA, where it can be suspended so that it
  // stops at the first boundary between blocks.
  ASSERT_TRUE(internal::Machine::Current()->WriteSetting("capacity", "C", "1000000000"));
  const auto record = machine_.Root() / "run" / "capacity-C";
  std::filesystem::create_directories(record.parent_path());
  const int lock = ::open(record.c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);
  const int watch = ::inotify_init1(IN_NONBLOCK);
  ASSERT_GE(::inotify_add_watch(watch, machine_.OnC("WINDOWS").c_str(),
                                IN_CREATE | IN_DELETE | IN_MOVED_TO),
            0);

  HANDLE worker = CreateThread(
      nullptr, 0,
      [](LPVOID) -> DWORD {
        return CopyFileA("C:\\big.bin", "C:\\WINDOWS\\big.cpy", FALSE) ? 1 : 2;
      },
      nullptr, 0, nullptr);
  ASSERT_NE(worker, nullptr);
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!SomeoneWaitsForALock() && std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_TRUE(SomeoneWaitsForALock()) << "the copy never reached the drive's lock";
  EXPECT_EQ(SuspendThread(worker), 0u);
  ::flock(lock, LOCK_UN);
  ::close(lock);
  // The worker now copies one block and parks; stopping it must undo the copy.
  std::vector<off_t> writing;
  while ((writing.empty() || writing[0] == 0) && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    writing = UnnamedFilesBeingWritten(machine_.OnC("WINDOWS"));
  }
  ASSERT_EQ(writing.size(), 1u) << "the copy was to be stopped while it wrote";
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  writing = UnnamedFilesBeingWritten(machine_.OnC("WINDOWS"));
  ASSERT_EQ(writing.size(), 1u);
  EXPECT_LT(writing[0], 3 << 20) << "the suspended copy went on to its end";
  EXPECT_TRUE(TerminateThread(worker, 77));
  ResumeThread(worker);
  EXPECT_EQ(WaitForSingleObject(worker, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(worker, &code));
  EXPECT_EQ(code, 77u) << "the copy should have been stopped, not finished";
  CloseHandle(worker);

  // The partial copy went with the stopped thread without ever having a name in the folder.
  EXPECT_FALSE(std::filesystem::exists(machine_.OnC("WINDOWS/big.cpy")));
  EXPECT_TRUE(UnnamedFilesBeingWritten(machine_.OnC("WINDOWS")).empty());
  alignas(inotify_event) char events[8192];
  const ssize_t n = ::read(watch, events, sizeof events);
  for (ssize_t at = 0; at < n;) {
    const auto* e = reinterpret_cast<const inotify_event*>(events + at);
    ADD_FAILURE() << "an entry appeared in the folder: " << (e->len ? e->name : "");
    at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
  }
  ::close(watch);
  for (const std::string& name : HostEntries(machine_.OnC("WINDOWS")))
    EXPECT_EQ(name.find(':'), std::string::npos) << "a temporary file was left: " << name;
}

}  // namespace
}  // namespace w98::testing
