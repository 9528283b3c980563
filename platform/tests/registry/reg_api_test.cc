// Conformance of the Win32 registry calls with Windows 98: return codes, sentinels left alone
// or overwritten as Windows 98 does, names without regard to case, trees and handles.
#include <gtest/gtest.h>

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "temp_machine.h"
#include "w98/machine.h"
#include "w98/winreg.h"

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

class RegApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Test", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override { RegCloseKey(key_); }

  void SetString(HKEY key, const char* name, const char* text) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                             static_cast<DWORD>(std::strlen(text) + 1)),
              ERROR_SUCCESS);
  }

  w98::testing::TempMachine machine_;
  HKEY key_ = nullptr;
};

TEST_F(RegApiTest, NewMachineHasBootDirAndHiveFiles) {
  HKEY setup = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Setup",
                          0, KEY_READ, &setup),
            ERROR_SUCCESS);
  char buf[260];
  DWORD type = kSentinel, size = sizeof buf;
  ASSERT_EQ(RegQueryValueExA(setup, "BootDir", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 4u) << "C:\\ with its NUL";
  EXPECT_STREQ(buf, "C:\\");
  RegCloseKey(setup);
  EXPECT_TRUE(std::filesystem::exists(machine_.OnC("WINDOWS/SYSTEM.DAT")));
  EXPECT_TRUE(std::filesystem::exists(machine_.OnC("WINDOWS/USER.DAT")));
}

TEST_F(RegApiTest, QueryValueSizesAndMissingValues) {
  SetString(key_, "Str", "foobar");
  // Missing value: type cleared, size left alone (Windows 98).
  DWORD type = kSentinel, size = kSentinel;
  EXPECT_EQ(RegQueryValueExA(key_, "Nope", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(type, 0u);
  EXPECT_EQ(size, kSentinel);
  // Size query without a buffer.
  type = kSentinel;
  size = kSentinel;
  EXPECT_EQ(RegQueryValueExA(key_, "str", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 7u);
  // Too small a buffer: ERROR_MORE_DATA and the size needed; a canary after the buffer stays.
  char buf[8];
  std::memset(buf, 'x', sizeof buf);
  size = 3;
  EXPECT_EQ(RegQueryValueExA(key_, "STR", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(buf[3], 'x');
  size = 7;
  EXPECT_EQ(RegQueryValueExA(key_, "Str", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(buf, "foobar");
  EXPECT_EQ(buf[7], 'x') << "wrote past the value";
  // A buffer without a size is refused.
  EXPECT_EQ(RegQueryValueExA(key_, "Str", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), nullptr),
            ERROR_INVALID_PARAMETER);
}

TEST_F(RegApiTest, SetValueStoresWholeStringsAndRawBytes) {
  // REG_SZ: the whole string and its NUL, whatever cbData says.
  const char* text = "abcdef";
  for (DWORD cb : {0u, 3u, 7u, 100u}) {
    ASSERT_EQ(RegSetValueExA(key_, "s", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), cb),
              ERROR_SUCCESS);
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExA(key_, "s", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 7u) << "cbData " << cb;
  }
  EXPECT_EQ(RegSetValueExA(key_, "s", 0, REG_SZ, nullptr, 0), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExA(key_, "b", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
  // Other types keep their bytes exactly, NULs included; an empty binary is a value too.
  const BYTE bytes[] = {0, 1, 0, 0xff};
  for (DWORD type : {static_cast<DWORD>(REG_BINARY), static_cast<DWORD>(REG_MULTI_SZ), 0x1234u}) {
    ASSERT_EQ(RegSetValueExA(key_, "raw", 0, type, bytes, sizeof bytes), ERROR_SUCCESS);
    BYTE out[8] = {};
    DWORD got_type = kSentinel, size = sizeof out;
    ASSERT_EQ(RegQueryValueExA(key_, "raw", nullptr, &got_type, out, &size), ERROR_SUCCESS);
    EXPECT_EQ(got_type, type);
    ASSERT_EQ(size, sizeof bytes);
    EXPECT_EQ(std::memcmp(out, bytes, sizeof bytes), 0);
  }
  ASSERT_EQ(RegSetValueExA(key_, "empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  DWORD size = kSentinel;
  EXPECT_EQ(RegQueryValueExA(key_, "empty", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 0u);
  // The default value: NULL and "" are the same value.
  SetString(key_, nullptr, "dflt");
  char buf[16] = {};
  size = sizeof buf;
  EXPECT_EQ(RegQueryValueExA(key_, "", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(buf, "dflt");
}

TEST_F(RegApiTest, NamesIgnoreCaseAndKeepTheFirstSpelling) {
  HKEY sub = nullptr;
  DWORD disposition = kSentinel;
  ASSERT_EQ(RegCreateKeyExA(key_, "MixedCase\\Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub,
                            &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  RegCloseKey(sub);
  ASSERT_EQ(RegCreateKeyExA(key_, "MIXEDCASE\\child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub,
                            &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  SetString(sub, "Value", "1");
  SetString(sub, "VALUE", "2");
  RegCloseKey(sub);
  char name[32];
  DWORD count = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(key_, 0, name, &count, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_STREQ(name, "MixedCase");
  EXPECT_EQ(count, 9u);
  ASSERT_EQ(RegOpenKeyExA(key_, "mixedcase\\CHILD", 0, KEY_READ, &sub), ERROR_SUCCESS);
  DWORD values = kSentinel;
  ASSERT_EQ(RegQueryInfoKeyA(sub, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 1u) << "Value and VALUE are one value";
  count = sizeof name;
  char data[8];
  DWORD size = sizeof data;
  ASSERT_EQ(
      RegEnumValueA(sub, 0, name, &count, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
      ERROR_SUCCESS);
  EXPECT_STREQ(name, "Value");
  EXPECT_STREQ(data, "2");
  RegCloseKey(sub);
}

TEST_F(RegApiTest, OpenAndCreateReturnCodes) {
  HKEY out = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(kSentinel));
  EXPECT_EQ(RegOpenKeyExA(key_, "Missing", 0, KEY_READ, &out), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(out, nullptr);
  // Leading backslash: refused by RegOpenKeyExA, accepted by RegCreateKeyExA (Windows 98).
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software", 0, KEY_READ, &out),
            ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "\\Software\\Test\\Lead", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &out, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(out);
  EXPECT_EQ(RegOpenKeyExA(key_, "Lead\\", 0, KEY_READ, &out), ERROR_SUCCESS)
      << "trailing backslash";
  RegCloseKey(out);
  EXPECT_EQ(RegOpenKeyExA(key_, "Lead\\\\x", 0, KEY_READ, &out), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCreateKeyExA(key_, "a\\\\b", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &out, nullptr),
            ERROR_INVALID_PARAMETER);
  // Bad handles: ERROR_BADKEY on Windows 98.
  const HKEY bogus = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x7654321));
  EXPECT_EQ(RegOpenKeyExA(bogus, "x", 0, KEY_READ, &out), ERROR_BADKEY);
  EXPECT_EQ(RegOpenKeyExA(nullptr, "x", 0, KEY_READ, &out), ERROR_BADKEY);
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_BADKEY);
  EXPECT_EQ(RegCloseKey(bogus), ERROR_BADKEY);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(bogus, "x", nullptr, nullptr, nullptr, &size), ERROR_BADKEY);
  // Closing twice succeeds on Windows 98; the closed handle no longer works.
  HKEY twice = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &twice), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(twice), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(twice), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(twice, "x", nullptr, nullptr, nullptr, &size), ERROR_BADKEY);
  // The old calls hand back the given handle for an empty path.
  HKEY same = nullptr;
  EXPECT_EQ(RegOpenKeyA(key_, "", &same), ERROR_SUCCESS);
  EXPECT_EQ(same, key_);
}

TEST_F(RegApiTest, DeleteKeyRemovesTheWholeTree) {
  HKEY deep = nullptr;
  ASSERT_EQ(RegCreateKeyA(key_, "Tree\\A\\B\\C", &deep), ERROR_SUCCESS);
  SetString(deep, "v", "x");
  EXPECT_EQ(RegDeleteKeyA(key_, nullptr), ERROR_BADKEY);
  EXPECT_EQ(RegDeleteKeyA(key_, ""), ERROR_BADKEY);
  EXPECT_EQ(RegDeleteKeyA(key_, "NoSuch"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(key_, "tree"), ERROR_SUCCESS);
  HKEY out = nullptr;
  EXPECT_EQ(RegOpenKeyExA(key_, "Tree", 0, KEY_READ, &out), ERROR_FILE_NOT_FOUND);
  // A handle to a deleted key reports it.
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(deep, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  EXPECT_EQ(RegSetValueExA(deep, "v", 0, REG_BINARY, nullptr, 0), ERROR_KEY_DELETED);
  RegCloseKey(deep);
  EXPECT_EQ(RegDeleteValueA(key_, "nothing"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegApiTest, EnumerationBuffersAndEnd) {
  SetString(key_, "Test", "foobar");
  HKEY sub = nullptr;
  ASSERT_EQ(RegCreateKeyA(key_, "LongerName", &sub), ERROR_SUCCESS);
  RegCloseKey(sub);
  // Value name too small: Windows 98 copies what fits and says so.
  char name[8];
  std::memset(name, 'x', sizeof name);
  DWORD count = 3, type = kSentinel, size = kSentinel;
  EXPECT_EQ(RegEnumValueA(key_, 0, name, &count, nullptr, &type, nullptr, &size), ERROR_MORE_DATA);
  EXPECT_STREQ(name, "Te");
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(size, 7u) << "the data size counts the NUL";
  // Data too small: ERROR_MORE_DATA with the size needed.
  BYTE data[4];
  count = sizeof name;
  size = sizeof data;
  EXPECT_EQ(RegEnumValueA(key_, 0, name, &count, nullptr, &type, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 7u);
  count = sizeof name;
  EXPECT_EQ(RegEnumValueA(key_, 1, name, &count, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  // Key name too small: nothing copied, count unchanged.
  std::memset(name, 'x', sizeof name);
  count = 4;
  EXPECT_EQ(RegEnumKeyExA(key_, 0, name, &count, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  EXPECT_EQ(name[0], 'x');
  EXPECT_EQ(count, 4u);
  count = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(key_, 1, name, &count, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  DWORD subkeys = kSentinel, max_sub = kSentinel, values = kSentinel, max_name = kSentinel,
        max_data = kSentinel;
  ASSERT_EQ(RegQueryInfoKeyA(key_, nullptr, nullptr, nullptr, &subkeys, &max_sub, nullptr, &values,
                             &max_name, &max_data, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 1u);
  EXPECT_EQ(max_sub, 10u);
  EXPECT_EQ(values, 1u);
  EXPECT_EQ(max_name, 4u);
  EXPECT_EQ(max_data, 7u);
}

// Several values read at once: packed one after another in the order asked, names in any case,
// and nothing written at all when one is missing or the buffer is short.
TEST_F(RegApiTest, MultipleValuesComeTogetherOrNotAtAll) {
  SetString(key_, "Str", "foobar");
  const DWORD number = 0x01020304;
  ASSERT_EQ(RegSetValueExA(key_, "Num", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key_, "Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  SetString(key_, "", "default");
  char n_num[] = "NUM", n_empty[] = "empty", n_str[] = "sTr", n_default[] = "", n_gone[] = "Gone";
  const auto fresh = [&] {
    std::vector<VALENTA> list;
    for (char* name : {n_num, n_empty, n_str, n_default})
      list.push_back(VALENTA{name, kSentinel, kSentinel, kSentinel});
    return list;
  };
  constexpr DWORD kNeeded = 4 + 0 + 7 + 8;

  // Without a buffer: the size needed, and success (Windows 98).
  std::vector<VALENTA> list = fresh();
  DWORD total = 0;
  EXPECT_EQ(RegQueryMultipleValuesA(key_, list.data(), 4, nullptr, &total), ERROR_SUCCESS);
  EXPECT_EQ(total, kNeeded);
  EXPECT_EQ(list[0].ve_valuelen, kSentinel) << "entries are filled only with the data";

  // One byte short: ERROR_MORE_DATA, the size needed, buffer and entries untouched.
  char buffer[kNeeded + 4];
  std::memset(buffer, 'x', sizeof buffer);
  total = kNeeded - 1;
  EXPECT_EQ(RegQueryMultipleValuesA(key_, list.data(), 4, buffer, &total), ERROR_MORE_DATA);
  EXPECT_EQ(total, kNeeded);
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(list[2].ve_type, kSentinel);

  // Room enough: each entry points at its data inside the buffer, in the order asked.
  total = sizeof buffer;
  ASSERT_EQ(RegQueryMultipleValuesA(key_, list.data(), 4, buffer, &total), ERROR_SUCCESS);
  EXPECT_EQ(total, kNeeded);
  EXPECT_EQ(buffer[kNeeded], 'x') << "wrote past the data";
  const DWORD types[] = {REG_DWORD, REG_BINARY, REG_SZ, REG_SZ};
  const std::string data[] = {std::string("\x04\x03\x02\x01", 4), "", std::string("foobar\0", 7),
                              std::string("default\0", 8)};
  size_t offset = 0;
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(list[i].ve_type, types[i]) << i;
    ASSERT_EQ(list[i].ve_valuelen, data[i].size()) << i;
    EXPECT_EQ(list[i].ve_valueptr, reinterpret_cast<DWORD_PTR>(buffer + offset)) << i;
    EXPECT_EQ(std::string(buffer + offset, data[i].size()), data[i]) << i;
    offset += data[i].size();
  }

  // One missing value fails the whole call and touches nothing.
  list = fresh();
  list[1].ve_valuename = n_gone;
  std::memset(buffer, 'x', sizeof buffer);
  total = sizeof buffer;
  EXPECT_EQ(RegQueryMultipleValuesA(key_, list.data(), 4, buffer, &total), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(total, sizeof buffer);
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(list[0].ve_valueptr, kSentinel);

  // Nothing asked: success with nothing used.
  total = sizeof buffer;
  EXPECT_EQ(RegQueryMultipleValuesA(key_, nullptr, 0, buffer, &total), ERROR_SUCCESS);
  EXPECT_EQ(total, 0u);
  EXPECT_EQ(RegQueryMultipleValuesA(key_, list.data(), 4, buffer, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryMultipleValuesA(reinterpret_cast<HKEY>(0x1234), list.data(), 4, buffer, &total),
            ERROR_BADKEY);
}

// More values than fit the call's own list on the stack, and a handle whose key was deleted.
TEST_F(RegApiTest, MultipleValuesOfALargeKeyAndOfADeletedOne) {
  HKEY many = nullptr;
  ASSERT_EQ(RegCreateKeyA(key_, "Many", &many), ERROR_SUCCESS);
  constexpr int kCount = 100;
  std::vector<std::string> names;
  for (int i = 0; i < kCount; ++i) {
    names.push_back("Value" + std::to_string(i));
    SetString(many, names.back().c_str(), std::string(static_cast<size_t>(i), 'a').c_str());
  }
  std::vector<VALENTA> list;
  for (int i = kCount - 1; i >= 0; --i) list.push_back(VALENTA{names[i].data(), 0, 0, 0});
  std::vector<char> buffer(kCount * (kCount + 1) / 2);
  DWORD total = static_cast<DWORD>(buffer.size());
  ASSERT_EQ(RegQueryMultipleValuesA(many, list.data(), kCount, buffer.data(), &total),
            ERROR_SUCCESS);
  EXPECT_EQ(total, buffer.size());
  for (int i = 0; i < kCount; ++i) {
    const int length = kCount - 1 - i;
    const auto* at = reinterpret_cast<const char*>(list[i].ve_valueptr);
    ASSERT_EQ(list[i].ve_valuelen, static_cast<DWORD>(length + 1)) << i;
    EXPECT_EQ(std::string(at, static_cast<size_t>(length + 1)),
              std::string(static_cast<size_t>(length), 'a') + '\0')
        << i;
  }
  ASSERT_EQ(RegDeleteKeyA(key_, "Many"), ERROR_SUCCESS);
  total = static_cast<DWORD>(buffer.size());
  EXPECT_EQ(RegQueryMultipleValuesA(many, list.data(), 1, buffer.data(), &total),
            ERROR_KEY_DELETED);
  RegCloseKey(many);
}

TEST_F(RegApiTest, OtherRootsMapOntoTheTwoHives) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, ".txt", &key), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\.TXT", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyExA(HKEY_USERS, ".Default\\Software\\Test", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  RegCloseKey(key);
  char name[16];
  DWORD count = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(HKEY_USERS, 0, name, &count, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_STREQ(name, ".DEFAULT");
}

TEST_F(RegApiTest, WritesPersistAndHandlesWorkFromAnyThread) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < 200; ++i) {
        const DWORD v = static_cast<DWORD>(t * 1000 + i);
        char name[32];
        std::snprintf(name, sizeof name, "t%d_%d", t, i);
        RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4);
      }
    });
  }
  for (auto& t : threads) t.join();
  ASSERT_EQ(RegFlushKey(key_), ERROR_SUCCESS);
  // A fresh look at the file (as another process would have) finds every value.
  ASSERT_TRUE(w98::SelectMachine(machine_.Root().string()));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Test", 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD values = 0;
  ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 800u);
  DWORD v = 0, size = 4;
  ASSERT_EQ(RegQueryValueExA(key, "T3_199", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(v, 3199u);
  RegCloseKey(key);
  EXPECT_EQ(RegQueryValueExA(key_, "t0_0", nullptr, nullptr, nullptr, &size), ERROR_BADKEY)
      << "handles of the machine before the switch";
}

}  // namespace

namespace {

TEST_F(RegApiTest, SubkeysAreEnumeratedInOrderWhateverOrderTheyWereMadeIn) {
  // Runs upward, downward, and jumps between them, with deletions: enumeration is always in
  // name order without regard to case.
  std::vector<std::string> made;
  const auto make = [&](const std::string& sub) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(key_, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    RegCloseKey(key);
    made.push_back(sub);
  };
  for (int i = 10; i < 40; ++i) make("n" + std::to_string(i));
  for (int i = 99; i >= 70; --i) make("N" + std::to_string(i));
  for (int i = 40; i < 70; i += 3) make("n" + std::to_string(i));
  for (const char* sub : {"a", "zz", "n", "n0", "M", "n9", "n100", "n5"}) make(sub);
  for (int i = 41; i < 70; i += 3) make("n" + std::to_string(i));
  for (const char* sub : {"n11", "N12", "n98"}) {
    ASSERT_EQ(RegDeleteKeyA(key_, sub), ERROR_SUCCESS);
    made.erase(std::find_if(made.begin(), made.end(),
                            [&](const std::string& m) { return strcasecmp(m.c_str(), sub) == 0; }));
  }
  for (const char* sub : {"n12", "n11b"}) make(sub);
  std::sort(made.begin(), made.end(), [](const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
  });
  std::vector<std::string> listed;
  char name[64];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof name;
    if (RegEnumKeyExA(key_, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    listed.emplace_back(name, length);
  }
  EXPECT_EQ(listed, made);
}

// A key with thousands of numbered values (as a snapshot's file list has): each new one lands
// between older ones, and enumeration, look-ups and the counts stay right across deletions.
TEST_F(RegApiTest, ThousandsOfNumberedValuesKeepTheirOrder) {
  constexpr int kCount = 3000;
  std::vector<std::string> made;
  for (int i = 0; i < kCount; ++i) {
    const std::string name = (i % 2 ? "File" : "FILE") + std::to_string(i);
    SetString(key_, name.c_str(), name.c_str());
    made.push_back(name);
  }
  for (int i = 0; i < kCount; i += 7) {
    ASSERT_EQ(RegDeleteValueA(key_, ("file" + std::to_string(i)).c_str()), ERROR_SUCCESS);
    made[static_cast<size_t>(i)].clear();
  }
  std::erase(made, std::string());
  std::sort(made.begin(), made.end(), [](const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
  });
  DWORD values = 0;
  ASSERT_EQ(RegQueryInfoKeyA(key_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, made.size());
  std::vector<std::string> listed;
  char name[64];
  char data[64];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof name;
    DWORD size = sizeof data;
    if (RegEnumValueA(key_, i, name, &length, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                      &size) != ERROR_SUCCESS)
      break;
    EXPECT_STREQ(name, data);
    listed.emplace_back(name, length);
  }
  EXPECT_EQ(listed, made);
  DWORD size = sizeof data;
  EXPECT_EQ(
      RegQueryValueExA(key_, "file2999", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
      ERROR_SUCCESS);
  EXPECT_STREQ(data, "File2999");
  EXPECT_EQ(RegQueryValueExA(key_, "FILE2996", nullptr, nullptr, nullptr, nullptr),
            ERROR_FILE_NOT_FOUND);
}

// A key with many subkeys (as the engine's reference table has one per stored file): each is
// found under any case while subkeys come and go, and enumeration keeps its sorted order.
TEST_F(RegApiTest, ManySubkeysAreFoundInAnyCaseWhileTheyChange) {
  constexpr int kCount = 150;
  auto name = [](const char* prefix, int i) {
    char number[8];
    std::snprintf(number, sizeof number, "%03d", i);
    return prefix + std::string(number);
  };
  auto opens = [&](const std::string& sub) {
    HKEY key = nullptr;
    const LONG rc = RegOpenKeyExA(key_, sub.c_str(), 0, KEY_READ, &key);
    if (rc == ERROR_SUCCESS) RegCloseKey(key);
    return rc == ERROR_SUCCESS;
  };
  for (int i = 0; i < kCount; ++i) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(key_, name(i % 2 ? "Key|" : "KEY|", i).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  for (int i = 0; i < kCount; ++i) EXPECT_TRUE(opens(name("key|", i))) << i;
  EXPECT_FALSE(opens("key|150"));
  for (int i = 1; i < kCount; i += 2)
    ASSERT_EQ(RegDeleteKeyA(key_, name("KEY|", i).c_str()), ERROR_SUCCESS);
  for (int i = 0; i < kCount; ++i) EXPECT_EQ(opens(name("Key|", i)), i % 2 == 0) << i;
  // Created again under another case: found, and enumerated in its place with its new spelling.
  HKEY again = nullptr;
  ASSERT_EQ(
      RegCreateKeyExA(key_, "kEy|001", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &again, nullptr),
      ERROR_SUCCESS);
  RegCloseKey(again);
  EXPECT_TRUE(opens("KEY|001"));
  char found[64];
  DWORD length = sizeof found;
  ASSERT_EQ(RegEnumKeyExA(key_, 1, found, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_STREQ(found, "kEy|001");
  // The whole tree gone and one subkey made again: none of the others is found.
  RegCloseKey(key_);
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Test"), ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Test\\Key|148", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &again, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(again);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Test", 0, KEY_ALL_ACCESS, &key_),
            ERROR_SUCCESS);
  EXPECT_TRUE(opens("key|148"));
  for (int i = 0; i < kCount; i += 2) EXPECT_EQ(opens(name("key|", i)), i == 148) << i;
}

}  // namespace
