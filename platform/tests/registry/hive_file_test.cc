// Hive files written by earlier builds: a hive of an older layout (values naming their key by
// its path; values indexed by generation) is converted when it is opened, keeping every key,
// value and its history, and stays usable afterwards; a hive of a layout this build does not
// know is refused and left as it is. Commits write every value of a key exactly, however many
// it has. Two hive objects on one file merge each other's commits as two programs do.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "registry/hive.h"
#include "temp_machine.h"
#include "w98/winreg.h"

namespace {

// The older layout, as its files are on disk.
constexpr const char* kOlderLayout =
    "CREATE TABLE hive(id INTEGER PRIMARY KEY CHECK (id = 1), gen INTEGER NOT NULL,"
    " stamp INTEGER NOT NULL);"
    "INSERT INTO hive VALUES(1, 3, 77);"
    "CREATE TABLE commits(gen INTEGER PRIMARY KEY, stamp INTEGER NOT NULL);"
    "INSERT INTO commits VALUES(0, 0); INSERT INTO commits VALUES(3, 77);"
    "CREATE TABLE keys(path TEXT PRIMARY KEY, name TEXT NOT NULL, gen INTEGER NOT NULL)"
    " WITHOUT ROWID;"
    "CREATE INDEX keys_gen ON keys(gen);"
    "CREATE TABLE vals(key TEXT NOT NULL, fold TEXT NOT NULL, name TEXT NOT NULL,"
    " type INTEGER NOT NULL, data BLOB NOT NULL, gen INTEGER NOT NULL,"
    " PRIMARY KEY(key, fold)) WITHOUT ROWID;"
    "CREATE INDEX vals_gen ON vals(gen);"
    "CREATE TABLE tombs(gen INTEGER NOT NULL, kind INTEGER NOT NULL, key TEXT NOT NULL,"
    " fold TEXT NOT NULL);"
    "CREATE INDEX tombs_gen ON tombs(gen);"
    "INSERT INTO tombs VALUES(2, 0, 'SOFTWARE\\GONE', '');"
    "PRAGMA application_id=1463367762;";

// Keys "Software" and "Software\Zemo"; values at the root, in "Software\Zemo", and in
// "Software\Zemo\Lost", a key that has no key row (which loading takes as a key).
constexpr const char* kOlderRows =
    "INSERT INTO keys VALUES('SOFTWARE', 'Software', 1);"
    "INSERT INTO keys VALUES('SOFTWARE\\ZEMO', 'Zemo', 2);"
    "INSERT INTO vals VALUES('', 'ROOTVALUE', 'RootValue', 1, CAST('top' || char(0) AS BLOB), 1);"
    "INSERT INTO vals VALUES('SOFTWARE\\ZEMO', 'COUNT', 'Count', 4, x'07000000', 2);"
    "INSERT INTO vals VALUES('SOFTWARE\\ZEMO', 'NAME', 'Name', 1,"
    " CAST('quill' || char(0) AS BLOB), 3);"
    "INSERT INTO vals VALUES('SOFTWARE\\ZEMO\\LOST', 'FOUND', 'Found', 4, x'01000000', 3);";

// The layout before this one: values numbered by key, indexed by generation, and key rows
// tagged only when they were made. "Software\Zemo" was made in commit 1; its values were written
// in commits 2 and 3, the root's value in commit 3.
constexpr const char* kLastLayout =
    "CREATE TABLE hive(id INTEGER PRIMARY KEY CHECK (id = 1), gen INTEGER NOT NULL,"
    " stamp INTEGER NOT NULL);"
    "INSERT INTO hive VALUES(1, 3, 77);"
    "CREATE TABLE commits(gen INTEGER PRIMARY KEY, stamp INTEGER NOT NULL);"
    "INSERT INTO commits VALUES(0, 0); INSERT INTO commits VALUES(3, 77);"
    "CREATE TABLE tombs(gen INTEGER NOT NULL, kind INTEGER NOT NULL, key TEXT NOT NULL,"
    " fold TEXT NOT NULL);"
    "CREATE INDEX tombs_gen ON tombs(gen);"
    "CREATE TABLE keys(id INTEGER PRIMARY KEY, path TEXT NOT NULL UNIQUE, name TEXT NOT NULL,"
    " gen INTEGER NOT NULL);"
    "CREATE INDEX keys_gen ON keys(gen);"
    "CREATE TABLE vals(key INTEGER NOT NULL, fold TEXT NOT NULL, name TEXT NOT NULL,"
    " type INTEGER NOT NULL, data BLOB NOT NULL, gen INTEGER NOT NULL,"
    " PRIMARY KEY(key, fold)) WITHOUT ROWID;"
    "CREATE INDEX vals_gen ON vals(gen);"
    "INSERT INTO keys VALUES(1, '', '', 1);"
    "INSERT INTO keys VALUES(2, 'SOFTWARE', 'Software', 1);"
    "INSERT INTO keys VALUES(3, 'SOFTWARE\\ZEMO', 'Zemo', 1);"
    "INSERT INTO vals VALUES(1, 'ROOTVALUE', 'RootValue', 1, CAST('top' || char(0) AS BLOB), 3);"
    "INSERT INTO vals VALUES(3, 'COUNT', 'Count', 4, x'07000000', 2);"
    "INSERT INTO vals VALUES(3, 'NAME', 'Name', 1, CAST('quill' || char(0) AS BLOB), 3);"
    "PRAGMA application_id=1463367762;"
    "PRAGMA user_version=2;";

bool ExecOn(const std::filesystem::path& file, const std::string& sql) {
  sqlite3* db = nullptr;
  bool ok = sqlite3_open(file.c_str(), &db) == SQLITE_OK &&
            sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

// The first column of the first row of `sql` as text ("" when none).
std::string QueryOn(const std::filesystem::path& file, const std::string& sql) {
  sqlite3* db = nullptr;
  std::string result;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0) != nullptr)
      result = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return result;
}

// What one key of a hive holds, read through a hive object of its own.
struct KeySeen {
  bool exists = false;
  std::string name;
  std::vector<std::pair<std::string, std::string>> values;  // name, bytes
};

KeySeen SeeKey(w98::internal::Hive& hive, const std::vector<std::string_view>& parts) {
  KeySeen seen;
  std::lock_guard<std::mutex> lock(hive.Mutex());
  w98::internal::RegKey* key = &hive.Root();
  std::shared_ptr<w98::internal::RegKey> found;
  if (!parts.empty()) {
    found = hive.Find(hive.Root(), parts);
    key = found.get();
  }
  if (key == nullptr) return seen;
  seen.exists = true;
  seen.name = key->name;
  for (const auto& v : key->values) seen.values.emplace_back(v.name, v.data);
  return seen;
}

class HiveFileTest : public ::testing::Test {
 protected:
  std::filesystem::path File() const { return machine_.OnC("WINDOWS/OLDER.DAT"); }
  w98::testing::TempMachine machine_;
};

TEST_F(HiveFileTest, AnOlderLayoutIsConvertedKeepingEveryKeyValueAndItsHistory) {
  ASSERT_TRUE(ExecOn(File(), std::string(kOlderLayout) + kOlderRows + "PRAGMA user_version=1;"));
  {
    w98::internal::Hive hive(File());
    ASSERT_EQ(ERROR_SUCCESS, hive.Sync(true));
    const KeySeen root = SeeKey(hive, {});
    ASSERT_EQ(1u, root.values.size());
    EXPECT_EQ("RootValue", root.values[0].first);
    EXPECT_EQ(std::string("top", 4), root.values[0].second);
    const KeySeen zemo = SeeKey(hive, {"software", "zemo"});
    ASSERT_TRUE(zemo.exists);
    EXPECT_EQ("Zemo", zemo.name) << "the name keeps its case";
    ASSERT_EQ(2u, zemo.values.size());
    EXPECT_EQ("Count", zemo.values[0].first);
    EXPECT_EQ(std::string("\x07\0\0\0", 4), zemo.values[0].second);
    EXPECT_EQ("Name", zemo.values[1].first);
    EXPECT_EQ(std::string("quill", 6), zemo.values[1].second);
    const KeySeen lost = SeeKey(hive, {"Software", "Zemo", "Lost"});
    ASSERT_TRUE(lost.exists) << "a value without a key row still has its key";
    ASSERT_EQ(1u, lost.values.size());
    EXPECT_EQ("Found", lost.values[0].first);
    EXPECT_TRUE(SeeKey(hive, {"Software"}).values.empty());

    // The converted hive takes new writes as any other.
    {
      std::lock_guard<std::mutex> lock(hive.Mutex());
      auto zemo_key = hive.Find(hive.Root(), {"Software", "Zemo"});
      ASSERT_NE(nullptr, zemo_key);
      hive.SetValue(*zemo_key, "Count", REG_DWORD, std::string("\x08\0\0\0", 4));
      bool created = false;
      auto fresh = hive.Create(hive.Root(), {"Software", "Zemo", "Fresh"}, &created);
      hive.SetValue(*fresh, "New", REG_SZ, std::string("n", 2));
    }
    ASSERT_EQ(ERROR_SUCCESS, hive.Commit());
  }
  EXPECT_EQ("3", QueryOn(File(), "PRAGMA user_version"));
  EXPECT_EQ("ok", QueryOn(File(), "PRAGMA integrity_check"));
  EXPECT_EQ("0",
            QueryOn(File(), "SELECT count(*) FROM sqlite_master WHERE name IN ('keys1', 'vals1')"))
      << "no table of the older layout is left behind";
  EXPECT_EQ("4", QueryOn(File(), "SELECT gen FROM hive")) << "the history goes on";
  EXPECT_EQ("SOFTWARE\\GONE", QueryOn(File(), "SELECT key FROM tombs"));

  w98::internal::Hive again(File());
  ASSERT_EQ(ERROR_SUCCESS, again.Sync(true));
  const KeySeen zemo = SeeKey(again, {"Software", "Zemo"});
  ASSERT_EQ(2u, zemo.values.size());
  EXPECT_EQ(std::string("\x08\0\0\0", 4), zemo.values[0].second);
  const KeySeen fresh = SeeKey(again, {"Software", "Zemo", "Fresh"});
  ASSERT_TRUE(fresh.exists);
  EXPECT_EQ("Fresh", fresh.name);
  EXPECT_EQ(1u, SeeKey(again, {}).values.size());
  EXPECT_TRUE(SeeKey(again, {"Software", "Zemo", "Lost"}).exists);
}

// A value written to a key made long before reaches another program through the key's row,
// which each commit of one of its values tags anew; the file of the last layout, whose key rows
// were tagged only when made, is converted to that rule when it is opened.
TEST_F(HiveFileTest, TheLastLayoutIsConvertedAndItsOldKeysCarryTheirValuesChanges) {
  using w98::internal::Hive;
  ASSERT_TRUE(ExecOn(File(), kLastLayout));
  Hive mine(File());
  ASSERT_EQ(ERROR_SUCCESS, mine.Sync(true));
  EXPECT_EQ("3", QueryOn(File(), "PRAGMA user_version"));
  EXPECT_EQ("0", QueryOn(File(), "SELECT count(*) FROM sqlite_master WHERE name = 'vals_gen'"));
  EXPECT_EQ("3", QueryOn(File(), "SELECT gen FROM keys WHERE path = 'SOFTWARE\\ZEMO'"))
      << "a key is as new as its newest value";
  EXPECT_EQ("1", QueryOn(File(), "SELECT gen FROM keys WHERE path = 'SOFTWARE'"));
  EXPECT_EQ("ok", QueryOn(File(), "PRAGMA integrity_check"));
  const KeySeen loaded = SeeKey(mine, {"Software", "Zemo"});
  ASSERT_EQ(2u, loaded.values.size());
  EXPECT_EQ(std::string("\x07\0\0\0", 4), loaded.values[0].second);

  // Another program changes a value of the old key, adds one to it and changes the root's; this
  // one catches up from the generation it had seen (not by loading everything again).
  Hive theirs(File());
  ASSERT_EQ(ERROR_SUCCESS, theirs.Sync(true));
  {
    std::lock_guard<std::mutex> lock(theirs.Mutex());
    auto zemo = theirs.Find(theirs.Root(), {"Software", "Zemo"});
    ASSERT_NE(nullptr, zemo);
    theirs.SetValue(*zemo, "Count", REG_DWORD, std::string("\x09\0\0\0", 4));
    theirs.SetValue(*zemo, "Added", REG_SZ, std::string("a", 2));
    theirs.SetValue(theirs.Root(), "RootValue", REG_SZ, std::string("new", 4));
  }
  ASSERT_EQ(ERROR_SUCCESS, theirs.Commit());
  EXPECT_EQ("4", QueryOn(File(), "SELECT gen FROM keys WHERE path = 'SOFTWARE\\ZEMO'"));
  EXPECT_EQ("1", QueryOn(File(), "SELECT gen FROM keys WHERE path = 'SOFTWARE'"))
      << "a key above a changed one keeps its generation";

  ASSERT_EQ(ERROR_SUCCESS, mine.Sync(true));
  const KeySeen zemo = SeeKey(mine, {"Software", "Zemo"});
  ASSERT_EQ(3u, zemo.values.size());
  EXPECT_EQ("Added", zemo.values[0].first);
  EXPECT_EQ(std::string("a", 2), zemo.values[0].second);
  EXPECT_EQ(std::string("\x09\0\0\0", 4), zemo.values[1].second);
  EXPECT_EQ(std::string("quill", 6), zemo.values[2].second);
  const KeySeen root = SeeKey(mine, {});
  ASSERT_EQ(1u, root.values.size());
  EXPECT_EQ(std::string("new", 4), root.values[0].second);
}

// The hive's root has no key of its own in the file; its values still need one to belong to.
TEST_F(HiveFileTest, ValuesOfTheRootComeBackWithoutAKeyOfTheirOwn) {
  {
    w98::internal::Hive hive(File());
    ASSERT_EQ(ERROR_SUCCESS, hive.Sync(true));
    {
      std::lock_guard<std::mutex> lock(hive.Mutex());
      hive.SetValue(hive.Root(), "AtTheTop", REG_SZ, std::string("t", 2));
      bool created = false;
      hive.Create(hive.Root(), {"Below"}, &created);
    }
    ASSERT_EQ(ERROR_SUCCESS, hive.Commit());
  }
  w98::internal::Hive again(File());
  ASSERT_EQ(ERROR_SUCCESS, again.Sync(true));
  const KeySeen root = SeeKey(again, {});
  ASSERT_EQ(1u, root.values.size());
  EXPECT_EQ("AtTheTop", root.values[0].first);
  std::lock_guard<std::mutex> lock(again.Mutex());
  ASSERT_EQ(1u, again.Root().children.size()) << "no key named \"\" beside Below";
  EXPECT_EQ("Below", again.Root().children[0]->name);
}

// A commit writes a key's values several rows to a statement: a key of more values than one
// statement takes, then a second commit that changes some of them and adds more, all come back
// exactly, each value once.
TEST_F(HiveFileTest, EveryValueOfAKeyWithManyComesBackOnce) {
  using w98::internal::Hive;
  const auto text = [](int i, int round) {
    // Empty, short and long data, and bytes that are no text.
    if (i % 7 == 0) return std::string();
    return std::string(static_cast<size_t>(i % 5) * 20 + 1, static_cast<char>('a' + i % 26)) +
           std::string(1, '\0') + std::to_string(i * 100 + round);
  };
  const auto fill = [&](Hive& hive, int first, int last, int round) {
    std::lock_guard<std::mutex> lock(hive.Mutex());
    bool created = false;
    auto key = hive.Create(hive.Root(), {"Software", "Many"}, &created);
    for (int i = first; i < last; ++i)
      hive.SetValue(*key, "Value" + std::to_string(i), REG_BINARY, text(i, round));
  };
  {
    Hive hive(File());
    ASSERT_EQ(ERROR_SUCCESS, hive.Sync(true));
    fill(hive, 0, 37, 1);
    ASSERT_EQ(ERROR_SUCCESS, hive.Commit());
    fill(hive, 20, 60, 2);  // 17 changed, 23 new
    ASSERT_EQ(ERROR_SUCCESS, hive.Commit());
  }
  Hive again(File());
  ASSERT_EQ(ERROR_SUCCESS, again.Sync(true));
  const KeySeen seen = SeeKey(again, {"Software", "Many"});
  ASSERT_EQ(60u, seen.values.size());
  std::map<std::string, std::string> by_name(seen.values.begin(), seen.values.end());
  for (int i = 0; i < 60; ++i)
    EXPECT_EQ(text(i, i < 20 ? 1 : 2), by_name["Value" + std::to_string(i)]) << i;
  EXPECT_EQ("60", QueryOn(File(),
                          "SELECT count(*) FROM vals v JOIN keys k ON k.id = v.key"
                          " WHERE k.path = 'SOFTWARE\\MANY'"));
}

// Two programs on one hive file: what the other commits reaches this one at its next look,
// except where this one has changed the same value and not committed it yet; that change stays
// and, committed last, wins.
TEST_F(HiveFileTest, AnotherCommitNeverOverwritesAChangeNotYetCommitted) {
  using w98::internal::Hive;
  const auto set = [](Hive& hive, std::string_view name, const std::string& text) {
    std::lock_guard<std::mutex> lock(hive.Mutex());
    bool created = false;
    auto key = hive.Create(hive.Root(), {"Software", "Zemo"}, &created);
    hive.SetValue(*key, name, REG_SZ, text + '\0');
  };
  const auto value = [](Hive& hive, std::string_view name) {
    for (const auto& [n, data] : SeeKey(hive, {"Software", "Zemo"}).values)
      if (n == name) return data.substr(0, data.size() - 1);
    return std::string("(none)");
  };
  Hive mine(File());
  Hive theirs(File());
  ASSERT_EQ(ERROR_SUCCESS, mine.Sync(true));
  set(mine, "Shared", "first");
  set(mine, "Other", "first");
  ASSERT_EQ(ERROR_SUCCESS, mine.Commit());

  ASSERT_EQ(ERROR_SUCCESS, theirs.Sync(true));
  set(theirs, "Shared", "theirs");
  set(theirs, "Other", "theirs");
  set(theirs, "New", "theirs");
  ASSERT_EQ(ERROR_SUCCESS, theirs.Commit());

  set(mine, "Shared", "mine");  // not committed yet
  ASSERT_EQ(ERROR_SUCCESS, mine.Sync(true));
  EXPECT_EQ("mine", value(mine, "Shared"));
  EXPECT_EQ("theirs", value(mine, "Other"));
  EXPECT_EQ("theirs", value(mine, "New"));
  ASSERT_EQ(ERROR_SUCCESS, mine.Commit());

  Hive later(File());
  ASSERT_EQ(ERROR_SUCCESS, later.Sync(true));
  EXPECT_EQ("mine", value(later, "Shared"));
  EXPECT_EQ("theirs", value(later, "Other"));
  EXPECT_EQ("theirs", value(later, "New"));
}

TEST_F(HiveFileTest, AnUnknownLayoutIsRefusedAndLeftAlone) {
  ASSERT_TRUE(ExecOn(File(), std::string(kOlderLayout) + kOlderRows + "PRAGMA user_version=9;"));
  const auto before = std::filesystem::file_size(File());
  w98::internal::Hive hive(File());
  EXPECT_EQ(ERROR_REGISTRY_CORRUPT, hive.Sync(true));
  EXPECT_EQ("9", QueryOn(File(), "PRAGMA user_version"));
  EXPECT_EQ("4", QueryOn(File(), "SELECT count(*) FROM vals"));
  EXPECT_EQ(before, std::filesystem::file_size(File()));
}

}  // namespace
