// Two processes writing different keys of one profile file at the same moment never lose
// each other's writes.
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "temp_machine.h"
#include "w98/windows.h"

namespace w98::testing {
namespace {

constexpr int kKeysPerWriter = 150;

bool WriteKeys(char writer) {
  for (int k = 0; k < kKeysPerWriter; ++k) {
    const std::string key = std::string(1, writer) + std::to_string(k);
    const std::string value = "value of " + key;
    if (!WritePrivateProfileStringA("shared", key.c_str(), value.c_str(), "RACE.INI")) return false;
  }
  return true;
}

void ExpectEveryKey(const std::string& writers) {
  for (char writer : writers) {
    int missing = 0;
    for (int k = 0; k < kKeysPerWriter; ++k) {
      const std::string key = std::string(1, writer) + std::to_string(k);
      char buffer[64] = {};
      GetPrivateProfileStringA("shared", key.c_str(), "", buffer, sizeof buffer, "RACE.INI");
      if (std::string(buffer) != "value of " + key) ++missing;
    }
    EXPECT_EQ(missing, 0) << "writer " << writer << " lost keys";
  }
}

TEST(ProfileConcurrency, TwoProcessesWritingDifferentKeysLoseNothing) {
  TempMachine machine;
  int go[2];
  ASSERT_EQ(::pipe(go), 0);
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = ::fork();
    ASSERT_NE(children[c], -1);
    if (children[c] == 0) {
      char byte = 0;
      ::close(go[1]);
      if (::read(go[0], &byte, 1) != 0) ::_exit(3);  // wait until both are ready
      ::_exit(WriteKeys(static_cast<char>('a' + c)) ? 0 : 1);
    }
  }
  ::close(go[0]);
  ::close(go[1]);  // both children start now
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer failed";
  }
  ExpectEveryKey("ab");
}

TEST(ProfileConcurrency, TwoThreadsWritingDifferentKeysLoseNothing) {
  TempMachine machine;
  bool ok[2] = {false, false};
  std::thread first([&] { ok[0] = WriteKeys('x'); });
  std::thread second([&] { ok[1] = WriteKeys('y'); });
  first.join();
  second.join();
  EXPECT_TRUE(ok[0] && ok[1]);
  ExpectEveryKey("xy");
}

}  // namespace
}  // namespace w98::testing
