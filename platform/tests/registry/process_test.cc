// What the registry guarantees across processes: writes are seen, concurrent writers merge
// without losing values, a killed writer leaves a hive that opens with a prefix of its
// writes, copies taken while others write are whole, and an older hive copied back is what
// the next program sees.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "registry/hive.h"
#include "registry/storage_hooks.h"
#include "temp_machine.h"
#include "w98/winbase.h"
#include "w98/winreg.h"

extern char** environ;

namespace {

using std::chrono::milliseconds;

// A child process of the test, with its stdin and stdout on pipes.
class Child {
 public:
  explicit Child(std::vector<std::string> args) {
    const std::string program = (w98::testing::BuildBinFolder() / "w98_registry_child").string();
    args.insert(args.begin(), program);
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
      pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    to_child_ = in[1];
    from_child_ = ::fdopen(out[0], "r");
  }
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
    if (to_child_ >= 0) ::close(to_child_);
    if (from_child_) std::fclose(from_child_);
  }
  std::string ReadLine() {
    char line[64] = {};
    if (!from_child_ || !std::fgets(line, sizeof line, from_child_)) return {};
    std::string s(line);
    if (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
  }
  void Send() { (void)!::write(to_child_, "\n", 1); }
  void Kill() { ::kill(pid_, SIGKILL); }
  // Exit code, or 128 + signal.
  int Wait() {
    if (pid_ <= 0) return -1;
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t pid_ = -1;
  int to_child_ = -1;
  FILE* from_child_ = nullptr;
};

bool ReadDword(const char* key_path, const std::string& name, DWORD* value) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key_path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD size = 4;
  const bool ok = RegQueryValueExA(key, name.c_str(), nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

// Waits (up to 20 s: the machine is shared and slow at times) until `done` holds.
template <class F>
bool Eventually(F done) {
  for (int i = 0; i < 2000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(milliseconds(10));
  }
  return false;
}

std::string IntegrityOf(const std::filesystem::path& file) {
  sqlite3* db = nullptr;
  std::string result = "cannot open";
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
      result = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return result;
}

// The DWORD values of one key of a hive file, read through a hive of its own.
std::map<std::string, DWORD> ValuesInFile(const std::filesystem::path& file,
                                          const std::vector<std::string_view>& key_path) {
  std::map<std::string, DWORD> out;
  w98::internal::Hive hive(file);
  if (hive.Sync(true) != ERROR_SUCCESS) return out;
  std::lock_guard<std::mutex> lock(hive.Mutex());
  auto key = hive.Find(hive.Root(), key_path);
  if (!key) return out;
  for (const auto& v : key->values) {
    DWORD d = 0;
    std::memcpy(&d, v.data.data(), std::min<size_t>(4, v.data.size()));
    out[v.name] = d;
  }
  return out;
}

class ProcessTest : public ::testing::Test {
 protected:
  std::filesystem::path UserDat() const { return machine_.OnC("WINDOWS/USER.DAT"); }
  w98::testing::TempMachine machine_;
};

TEST_F(ProcessTest, WritesReachOtherProcessesAndFlushIsImmediate) {
  Child child({"hold", "Software\\Seen", "v", "41"});
  ASSERT_EQ(child.ReadLine(), "written");
  DWORD v = 0;
  // Without a flush the write arrives by itself, shortly.
  EXPECT_TRUE(Eventually([&] { return ReadDword("Software\\Seen", "v", &v) && v == 41; }));
  child.Send();
  ASSERT_EQ(child.ReadLine(), "flushed");
  EXPECT_TRUE(ReadDword("Software\\Seen", "v", &v));
  child.Send();
  EXPECT_EQ(child.Wait(), 0);
  // And the other way round: a flushed write of this process is seen by a new program.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Seen", &key), ERROR_SUCCESS);
  const DWORD mine = 7;
  RegSetValueExA(key, "mine", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mine), 4);
  RegCloseKey(key);
  w98::internal::FlushAllHives();
  EXPECT_EQ(ValuesInFile(UserDat(), {"Software", "Seen"})["mine"], 7u);
}

// A program that flushed and ended is seen at the very next call, even while another thread
// of this process keeps looking at the registry (so no periodic check is due).
TEST_F(ProcessTest, AFlushedWriteOfAnotherProgramIsSeenAtTheNextCall) {
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    DWORD v = 0;
    while (!stop) ReadDword("Software\\Next", "r0_0", &v);
  });
  for (int round = 0; round < 15; ++round) {
    const std::string prefix = std::string("r") + std::to_string(round) + "_";
    Child child({"count", "Software\\Next", prefix, "0", "1", "flush"});
    ASSERT_EQ(child.Wait(), 0);
    DWORD v = 12345;
    EXPECT_TRUE(ReadDword("Software\\Next", prefix + "0", &v)) << "round " << round;
    EXPECT_EQ(v, 0u);
  }
  stop = true;
  reader.join();
}

TEST_F(ProcessTest, ConcurrentWritersNeverLoseEachOthersValues) {
  Child a({"count", "Software\\Shared", "a", "0", "400", "flush"});
  Child b({"count", "Software\\Shared", "b", "0", "400", "flush"});
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Shared", &key), ERROR_SUCCESS);
  for (DWORD i = 0; i < 400; ++i) {
    const std::string name = std::string("p") + std::to_string(i);
    RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), 4);
    if (i % 50 == 0) RegFlushKey(key);
  }
  RegFlushKey(key);
  EXPECT_EQ(a.Wait(), 0);
  EXPECT_EQ(b.Wait(), 0);
  // This process sees the others' values next to its own ...
  DWORD values = 0;
  EXPECT_TRUE(Eventually([&] {
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    return values == 1200;
  })) << values;
  RegCloseKey(key);
  // ... and so does the file.
  const auto in_file = ValuesInFile(UserDat(), {"Software", "Shared"});
  EXPECT_EQ(in_file.size(), 1200u);
  for (const char* prefix : {"a", "b", "p"})
    for (DWORD i = 0; i < 400; i += 37)
      EXPECT_EQ(in_file.count(prefix + std::to_string(i)), 1u) << prefix << i;
}

TEST_F(ProcessTest, KilledWriterLeavesAHiveWithAPrefixOfItsWrites) {
  for (int round = 0; round < 6; ++round) {
    const std::string leaf = std::string("Kill") + std::to_string(round);
    const std::string key = "Software\\" + leaf;
    Child child({"count", key, "v", "0", "0"});
    DWORD v = 0;
    ASSERT_TRUE(Eventually([&] { return ReadDword(key.c_str(), "v100", &v); }));
    std::this_thread::sleep_for(milliseconds(7 * round));
    child.Kill();
    EXPECT_EQ(child.Wait(), 128 + SIGKILL);
    // Opening the hive finishes (rolls back) a commit that the kill cut short.
    const auto values = ValuesInFile(UserDat(), {"Software", leaf});
    EXPECT_EQ(IntegrityOf(UserDat()), "ok");
    ASSERT_GE(values.size(), 101u);
    for (DWORD i = 0; i < values.size(); ++i) {
      auto it = values.find(std::string("v") + std::to_string(i));
      ASSERT_NE(it, values.end()) << "hole at v" << i << " of " << values.size();
      EXPECT_EQ(it->second, i);
    }
  }
}

// Copies of USER.DAT, through the storage's hook or through CopyFileA, are whole and show one
// moment: y is x or the one before.
void ExpectConsistentCopies(const w98::testing::TempMachine& machine, bool through_copy_file) {
  int checked = 0;
  for (int i = 0; i < 15; ++i) {
    const std::string name = std::string("COPY") + std::to_string(i) + ".DAT";
    const auto copy = machine.OnC(name);
    if (through_copy_file) {
      ASSERT_TRUE(CopyFileA("C:\\WINDOWS\\USER.DAT", ("C:\\" + name).c_str(), FALSE))
          << GetLastError();
    } else {
      DWORD error = 12345;
      ASSERT_TRUE(
          w98::internal::CopyHiveConsistently(machine.OnC("WINDOWS/USER.DAT"), copy, &error));
      ASSERT_EQ(error, 0u);
    }
    ASSERT_EQ(IntegrityOf(copy), "ok");
    auto values = ValuesInFile(copy, {"Software", "Pairs"});
    if (values.count("x") == 0) continue;
    if (values.count("y") == 0) {
      EXPECT_EQ(values["x"], 0u) << "x without y after the first pair";
      continue;
    }
    ++checked;
    const DWORD x = values["x"], y = values["y"];
    EXPECT_TRUE(y == x || y + 1 == x) << "x " << x << " y " << y;
    std::this_thread::sleep_for(milliseconds(20));
  }
  EXPECT_GT(checked, 0);
}

TEST_F(ProcessTest, CopiesTakenWhileOthersWriteAreWhole) {
  {
    Child child({"pairs", "Software\\Pairs"});
    DWORD x = 0;
    ASSERT_TRUE(Eventually([&] { return ReadDword("Software\\Pairs", "x", &x); }));
    ExpectConsistentCopies(machine_, false);
    ExpectConsistentCopies(machine_, true);
  }
  // The same while a thread of this process writes (the hive is open here), from scratch.
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Pairs"), ERROR_SUCCESS);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    HKEY key = nullptr;
    RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Pairs", &key);
    for (DWORD i = 0; !stop; ++i) {
      RegSetValueExA(key, "x", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), 4);
      RegSetValueExA(key, "y", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), 4);
    }
    RegCloseKey(key);
  });
  ExpectConsistentCopies(machine_, true);
  ExpectConsistentCopies(machine_, false);
  stop = true;
  writer.join();
}

TEST_F(ProcessTest, AnOlderHiveCopiedBackIsWhatProgramsSee) {
  auto write = [](const char* name, DWORD value) {
    HKEY key = nullptr;
    RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Restore", &key);
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    RegCloseKey(key);
  };
  write("a", 1);
  const auto saved = machine_.OnC("saved.dat");
  DWORD error = 0;
  ASSERT_TRUE(w98::internal::CopyHiveConsistently(UserDat(), saved, &error));
  ASSERT_EQ(error, 0u);
  write("a", 2);
  write("b", 3);
  w98::internal::FlushAllHives();
  // A writer killed in the middle of a commit leaves a hot journal beside the current hive.
  Child torn({"torn", UserDat().string()});
  EXPECT_EQ(torn.Wait(), 128 + SIGKILL);
  ASSERT_TRUE(std::filesystem::exists(UserDat().string() + "-journal"));
  // The journal is never listed, and cannot be opened, through w98.
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA("C:\\WINDOWS\\USER.DAT*", &found);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  int listed = 0;
  do {
    EXPECT_STREQ(found.cFileName, "USER.DAT");
    ++listed;
  } while (FindNextFileA(find, &found));
  FindClose(find);
  EXPECT_EQ(listed, 1);
  EXPECT_EQ(GetFileAttributesA("C:\\WINDOWS\\USER.DAT-journal"), INVALID_FILE_ATTRIBUTES);
  // The file layer replaces the hive with a plain copy of the old bytes.
  w98::internal::BeforeHiveReplaced(UserDat());
  EXPECT_FALSE(std::filesystem::exists(UserDat().string() + "-journal"));
  std::filesystem::copy_file(saved, UserDat(), std::filesystem::copy_options::overwrite_existing);
  DWORD v = 0;
  EXPECT_TRUE(ReadDword("Software\\Restore", "a", &v));
  EXPECT_EQ(v, 1u) << "the restored value";
  EXPECT_FALSE(ReadDword("Software\\Restore", "b", &v)) << "a value newer than the copy";
  EXPECT_EQ(IntegrityOf(UserDat()), "ok");
  // A program started afterwards sees the restored hive too.
  Child reader({"count", "Software\\Restore", "c", "0", "1", "flush"});
  EXPECT_EQ(reader.Wait(), 0);
  auto values = ValuesInFile(UserDat(), {"Software", "Restore"});
  EXPECT_EQ(values["a"], 1u);
  EXPECT_EQ(values.count("b"), 0u);
  EXPECT_EQ(values.count("c0"), 1u);
  // CopyFileA, as a restore runs it, brings the saved hive back over the open one. The journal
  // that the commits leave beside it is empty (nothing to roll back) and goes with the old file.
  write("a", 5);
  write("d", 6);
  w98::internal::FlushAllHives();
  const std::string journal = UserDat().string() + "-journal";
  std::error_code no_journal;
  const auto journal_size = std::filesystem::file_size(journal, no_journal);
  EXPECT_TRUE(no_journal || journal_size == 0)
      << "a committed hive left " << journal_size << " bytes to roll back";
  ASSERT_TRUE(CopyFileA("C:\\saved.dat", "C:\\WINDOWS\\USER.DAT", FALSE)) << GetLastError();
  EXPECT_FALSE(std::filesystem::exists(journal));
  EXPECT_TRUE(ReadDword("Software\\Restore", "a", &v));
  EXPECT_EQ(v, 1u);
  EXPECT_FALSE(ReadDword("Software\\Restore", "d", &v));
  EXPECT_EQ(IntegrityOf(UserDat()), "ok");
}

TEST(RegistryHelperFiles, AreRecognisedByName) {
  for (const char* name : {"SYSTEM.DAT-journal", "user.dat-JOURNAL", "USER.DAT-wal", "USER.DAT-shm",
                           "USER.DAT~w98copy123.4", "~W98COPY", "a~b~~w98Copy"})
    EXPECT_TRUE(w98::internal::IsRegistryHelperFile(name)) << name;
  for (const char* name : {"SYSTEM.DAT", "journal", "-journal", "WIN.INI", "readme-wal.txt",
                           "PROGRA~1", "~w98cop", "w98copy", "x~w98cop~y"})
    EXPECT_FALSE(w98::internal::IsRegistryHelperFile(name)) << name;
}

TEST(CopyHiveConsistently, LeavesOtherFilesToTheFileLayer) {
  w98::testing::TempMachine machine;
  machine.WriteFile("plain.txt", "hello");
  DWORD error = 12345;
  EXPECT_FALSE(
      w98::internal::CopyHiveConsistently(machine.OnC("plain.txt"), machine.OnC("x.txt"), &error));
  EXPECT_FALSE(std::filesystem::exists(machine.OnC("x.txt")));
  EXPECT_FALSE(
      w98::internal::CopyHiveConsistently(machine.OnC("missing"), machine.OnC("y"), &error));
}

}  // namespace
