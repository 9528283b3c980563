// The catalogue queries over catalogues written value by value: record layouts, order,
// filters, defaults, and texts too long for their fields.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine_testing.h"

namespace snapshot::testing {
namespace {

namespace c = quillow::catalogue;

constexpr unsigned char kSentinel = 0xAB;

template <typename Record>
std::vector<Record> Sentinels(size_t n) {
  std::vector<Record> records(n);
  std::memset(records.data(), kSentinel, sizeof(Record) * n);
  return records;
}

template <typename Record>
bool Untouched(const Record& record) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
  for (size_t i = 0; i < sizeof(Record); ++i)
    if (bytes[i] != kSentinel) return false;
  return true;
}

void AddSnapshot(int number, const std::string& name, const std::string& comments, int valid) {
  c::WriteText("snapshot.ini", "Misc", "ControlFile" + std::to_string(number), name);
  c::WriteInt("snapshot.ini", "Misc", "NumofSSImage", number);
  c::WriteText(name, "Misc", "ImageName", name);
  c::WriteText(name, "Misc", "Comments", comments);
  c::WriteText(name, "Misc", "Date", name.substr(0, 8));
  c::WriteText(name, "Misc", "Time", "123456");
  c::WriteInt(name, "Misc", "Valid", valid);
}

void AddVersion(const std::string& key, const std::string& name, const std::string& size,
                const std::vector<std::string>& holders) {
  const int n = static_cast<int>(c::ReadInt("cref.tab", "Index", "IndexCount").value_or(0)) + 1;
  c::WriteText("cref.tab", "Index", "Key" + std::to_string(n), key);
  c::WriteInt("cref.tab", "Index", "IndexCount", n);
  c::WriteText("cref.tab", key, "OriginalFileName", name);
  c::WriteText("cref.tab", key, "OriginalPath", "C:\\WINDOWS\\");
  c::WriteText("cref.tab", key, "Size", size);
  c::WriteText("cref.tab", key, "Alias", "0000000" + std::to_string(n) + ".98b");
  for (size_t i = 0; i < holders.size(); ++i)
    c::WriteText("cref.tab", key, "RefControlFile" + std::to_string(i + 1), holders[i]);
  if (!holders.empty()) c::WriteInt("cref.tab", key, "RefCount", static_cast<int>(holders.size()));
}

class QueriesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(SS_OK, machine_.Init()); }
  EngineMachine machine_;
};

TEST_F(QueriesTest, AnEmptyCatalogueYieldsNothing) {
  auto images = Sentinels<SSImgRecord>(1);
  EXPECT_EQ(0, GetSSImgCount());
  EXPECT_EQ(0, ListSSImg("", images.data()));
  EXPECT_EQ(0, ListSSImg("19981115.S01", images.data()));
  EXPECT_TRUE(Untouched(images[0]));
  auto files = Sentinels<SSFileRecord>(1);
  EXPECT_EQ(0, GetSSImgInfoCount("19981115.S01"));
  EXPECT_EQ(0, GetSSImgInfo(files.data(), "19981115.S01"));
  EXPECT_EQ(0, GetSSFilesCount());
  EXPECT_EQ(0, ListSSFiles("", files.data()));
  EXPECT_TRUE(Untouched(files[0]));
}

TEST_F(QueriesTest, SnapshotRecordsFollowTheListAndNamesAreExact) {
  AddSnapshot(1, "19981115.S01", "one", 1);
  AddSnapshot(2, "19981116.S01", "two", 0);
  // Listed without a control key: a record with empty texts and zero integers.
  c::WriteText("snapshot.ini", "Misc", "ControlFile3", "19981117.S01");
  c::WriteInt("snapshot.ini", "Misc", "NumofSSImage", 3);
  c::WriteInt("19981115.S01", "KernelFileList", "FileCount", 4);
  c::WriteInt("19981115.S01", "UserFileList", "FileCount", 2);

  auto all = Sentinels<SSImgRecord>(4);
  ASSERT_EQ(3, GetSSImgCount());
  ASSERT_EQ(3, ListSSImg("", all.data()));
  EXPECT_STREQ("19981115.S01", all[0].name);
  EXPECT_STREQ("19981115.S01", all[0].imageName);
  EXPECT_STREQ("one", all[0].comments);
  EXPECT_STREQ("19981115", all[0].date);
  EXPECT_STREQ("123456", all[0].time);
  EXPECT_EQ(1, all[0].valid);
  EXPECT_EQ(4, all[0].kernelFileCount);
  EXPECT_EQ(2, all[0].userFileCount);
  EXPECT_STREQ("two", all[1].comments);
  EXPECT_EQ(0, all[1].valid);
  EXPECT_STREQ("19981117.S01", all[2].name);
  EXPECT_STREQ("", all[2].imageName);
  EXPECT_EQ(0, all[2].valid);
  EXPECT_EQ(0, all[2].kernelFileCount);
  EXPECT_TRUE(Untouched(all[3])) << "a record past the list was written";
  EXPECT_EQ(6, GetSSImgInfoCount("19981115.S01"));

  auto one = Sentinels<SSImgRecord>(2);
  EXPECT_EQ(1, ListSSImg("19981116.S01", one.data()));
  EXPECT_STREQ("two", one[0].comments);
  EXPECT_TRUE(Untouched(one[1]));
  EXPECT_EQ(0, ListSSImg("19981116.s01", one.data())) << "names compare case-sensitively";
}

TEST_F(QueriesTest, LongTextsAreCutToTheirFields) {
  const std::string long_comment(300, 'c');
  AddSnapshot(1, "19981115.S01", long_comment, 1);
  auto images = Sentinels<SSImgRecord>(2);
  ASSERT_EQ(1, ListSSImg("", images.data()));
  EXPECT_EQ(std::string(259, 'c'), images[0].comments);
  EXPECT_EQ('\0', images[0].comments[259]);
  EXPECT_STREQ("19981115", images[0].date) << "the next field starts intact";
  EXPECT_TRUE(Untouched(images[1]));

  const std::string key = std::string(200, 'k') + "|C://|1|19981115|120000";
  AddVersion(key, std::string(270, 'n'), "1", {"19981115.S01"});
  c::WriteText("cref.tab", key, "Version", std::string(1000, 'v'));
  auto files = Sentinels<SSFileRecord>(2);
  ASSERT_EQ(1, ListSSFiles("", files.data()));
  EXPECT_EQ(key, files[0].fileKey);
  EXPECT_EQ(std::string(259, 'n'), files[0].sourceName);
  EXPECT_EQ(std::string(259, 'v'), files[0].version);
  EXPECT_STREQ("C:\\WINDOWS\\", files[0].sourceFolder);
  EXPECT_EQ(1, files[0].size);
  EXPECT_TRUE(Untouched(files[1]));
}

TEST_F(QueriesTest, FileRecordsKernelFirstWithSizeAndLastSnapshot) {
  AddSnapshot(1, "19981115.S01", "", 1);
  AddVersion("USER.DAT|C://WINDOWS//|1234567|19981115|120000", "USER.DAT", "1234567",
             {"19981110.S01", "19981115.S01"});
  AddVersion("Long Name.txt|C://WINDOWS//|12ab|19981115|120000", "Long Name.txt", "12ab",
             {"19981115.S01"});
  // A version without RefCount: its last snapshot is read as RefControlFile1.
  AddVersion("SYSTEM.INI|C://WINDOWS//|9|19981115|120000", "SYSTEM.INI", "9", {});
  c::WriteText("cref.tab", "SYSTEM.INI|C://WINDOWS//|9|19981115|120000", "RefControlFile1",
               "19981101.S01");
  // The user list is written first, the kernel list second: the records still come kernel
  // first.
  c::WriteText("19981115.S01", "UserFileList", "File0",
               "Long Name.txt|C://WINDOWS//|12ab|19981115|120000");
  c::WriteInt("19981115.S01", "UserFileList", "FileCount", 1);
  c::WriteText("19981115.S01", "KernelFileList", "File0",
               "USER.DAT|C://WINDOWS//|1234567|19981115|120000");
  c::WriteText("19981115.S01", "KernelFileList", "File1",
               "SYSTEM.INI|C://WINDOWS//|9|19981115|120000");
  c::WriteInt("19981115.S01", "KernelFileList", "FileCount", 2);

  ASSERT_EQ(3, GetSSImgInfoCount("19981115.S01"));
  auto files = Sentinels<SSFileRecord>(4);
  ASSERT_EQ(3, GetSSImgInfo(files.data(), "19981115.S01"));
  EXPECT_STREQ("USER.DAT", files[0].sourceName);
  EXPECT_EQ(1234567, files[0].size);
  EXPECT_STREQ("19981115.S01", files[0].lastSnapshot);
  EXPECT_STREQ("SYSTEM.INI", files[1].sourceName);
  EXPECT_STREQ("19981101.S01", files[1].lastSnapshot);
  EXPECT_STREQ("Long Name.txt", files[2].sourceName);
  EXPECT_EQ(0, files[2].size) << "a size that is not decimal text reads as 0";
  EXPECT_STREQ("", files[2].version);
  EXPECT_TRUE(Untouched(files[3]));
}

// Fields are texts: a number stored where a text belongs reads as empty, and a text holding a
// NUL reads up to it, whether it fits a small read or not.
TEST_F(QueriesTest, FieldsReadOnlyTextsUpToTheirFirstNul) {
  const std::string key = "A.DLL|C://|1|19981115|120000";
  AddVersion(key, "A.DLL", "1", {"19981115.S01"});
  c::WriteInt("cref.tab", key, "Type", 7);
  HKEY entry = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyA(HKEY_CURRENT_USER, ("Software\\Zemo\\Snapshot\\cref.tab\\" + key).c_str(),
                        &entry));
  const std::string cut("ab\0cd", 6);
  std::string long_cut = std::string(600, 'v');
  long_cut[100] = '\0';
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(entry, "Alias", 0, REG_EXPAND_SZ,
                                          reinterpret_cast<const BYTE*>(cut.data()), 6));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(entry, "Version", 0, REG_EXPAND_SZ,
                                          reinterpret_cast<const BYTE*>(long_cut.data()), 600));
  RegCloseKey(entry);
  auto files = Sentinels<SSFileRecord>(2);
  ASSERT_EQ(1, ListSSFiles("", files.data()));
  EXPECT_EQ(std::string(260, '\0'), std::string(files[0].type, 260));
  EXPECT_STREQ("ab", files[0].alias);
  EXPECT_EQ('\0', files[0].alias[3]) << "padded past the NUL";
  EXPECT_EQ(std::string(100, 'v'), files[0].version);
  EXPECT_TRUE(Untouched(files[1]));
}

// A file list that names versions the reference table lacks (a damaged catalogue), with and
// without the reference table itself: each record carries the key, everything else empty.
TEST_F(QueriesTest, FilesMissingFromTheReferenceTableGiveEmptyRecords) {
  AddSnapshot(1, "19981115.S01", "", 1);
  c::WriteText("19981115.S01", "KernelFileList", "File0", "GONE.DLL|C://|1|19981115|120000");
  c::WriteInt("19981115.S01", "KernelFileList", "FileCount", 1);
  for (bool with_table : {false, true}) {
    if (with_table) AddVersion("OTHER.DLL|C://|2|19981115|120000", "OTHER.DLL", "2", {"X"});
    auto files = Sentinels<SSFileRecord>(2);
    ASSERT_EQ(1, GetSSImgInfo(files.data(), "19981115.S01")) << with_table;
    EXPECT_STREQ("GONE.DLL|C://|1|19981115|120000", files[0].fileKey) << with_table;
    EXPECT_STREQ("", files[0].sourceName) << with_table;
    EXPECT_STREQ("", files[0].lastSnapshot) << with_table;
    EXPECT_EQ(0, files[0].size) << with_table;
    EXPECT_TRUE(Untouched(files[1])) << with_table;
  }
}

// A version's values are read together when all of them are there and one by one when one is
// missing: both ways give the same record, including texts longer than the first buffer, texts
// cut at a NUL, numbers where texts belong and a text where RefCount's number belongs.
TEST_F(QueriesTest, ARecordReadsTheSameWhetherItsValuesComeTogetherOrOneByOne) {
  const std::string key = "A.DLL|C://|77|19981115|120000";
  AddVersion(key, "A.DLL", "77", {"19981110.S01", "19981115.S01"});
  c::WriteText("cref.tab", key, "Date", "19981115");
  c::WriteText("cref.tab", key, "Time", "120000");
  c::WriteText("cref.tab", key, "Attrib", "A");
  c::WriteInt("cref.tab", key, "Type", 7);
  c::WriteText("cref.tab", key, "StorePath", std::string(5000, 'p'));
  c::WriteText("cref.tab", key, "StoreDir", "C:\\WINDOWS\\ZEMO\\SNAPSHOT\\");
  HKEY entry = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyA(HKEY_CURRENT_USER, ("Software\\Zemo\\Snapshot\\cref.tab\\" + key).c_str(),
                        &entry));
  const std::string cut("v1\0v2", 6);
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(entry, "Version", 0, REG_EXPAND_SZ,
                                          reinterpret_cast<const BYTE*>(cut.data()), 6));
  const auto read = [] {
    auto files = Sentinels<SSFileRecord>(1);
    EXPECT_EQ(1, ListSSFiles("", files.data()));
    return files[0];
  };

  const SSFileRecord together = read();
  EXPECT_STREQ("19981115", together.date);
  EXPECT_STREQ("", together.type) << "a number where a text belongs";
  EXPECT_EQ(std::string(259, 'p'), together.storePath);
  EXPECT_STREQ("v1", together.version);
  EXPECT_STREQ("19981115.S01", together.lastSnapshot);
  EXPECT_EQ(77, together.size);

  ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(entry, "Date"));
  SSFileRecord one_by_one = read();
  EXPECT_STREQ("", one_by_one.date);
  std::memcpy(one_by_one.date, together.date, sizeof together.date);
  EXPECT_EQ(0, std::memcmp(&one_by_one, &together, sizeof together));

  // RefCount as a text reads as missing, so the last snapshot is RefControlFile1's.
  c::WriteText("cref.tab", key, "RefCount", "2");
  c::WriteText("cref.tab", key, "Date", "19981115");
  EXPECT_STREQ("19981110.S01", read().lastSnapshot);
  RegCloseKey(entry);
}

// A list is read in batches: a gap in a later batch reads as an empty entry in its place.
TEST_F(QueriesTest, LongFileListsKeepTheirOrderAndTheirGaps) {
  AddSnapshot(1, "19981115.S01", "", 1);
  constexpr int kFiles = 150;
  const auto file_key = [](int i) {
    return "F" + std::to_string(i) + ".DLL|C://|1|19981115|120000";
  };
  for (int i = 0; i < kFiles; ++i)
    if (i != 70)
      c::WriteText("19981115.S01", "KernelFileList", "File" + std::to_string(i), file_key(i));
  c::WriteInt("19981115.S01", "KernelFileList", "FileCount", kFiles);
  auto files = Sentinels<SSFileRecord>(kFiles + 1);
  ASSERT_EQ(kFiles, GetSSImgInfo(files.data(), "19981115.S01"));
  for (int i = 0; i < kFiles; ++i)
    EXPECT_EQ(i == 70 ? std::string() : file_key(i), files[static_cast<size_t>(i)].fileKey) << i;
  EXPECT_TRUE(Untouched(files[kFiles]));
}

TEST_F(QueriesTest, StoredVersionsFilterByExactName) {
  AddVersion("SYSTEM.INI|C://WINDOWS//|9|19981115|120000", "SYSTEM.INI", "9", {"A"});
  AddVersion("system.ini|C://OLD//|9|19981115|120000", "system.ini", "9", {"A"});
  AddVersion("WIN.INI|C://WINDOWS//|9|19981115|120000", "WIN.INI", "9", {"A"});
  AddVersion("SYSTEM.INI|C://WINDOWS//|10|19981116|120000", "SYSTEM.INI", "10", {"A"});
  ASSERT_EQ(4, GetSSFilesCount());

  auto files = Sentinels<SSFileRecord>(4);
  ASSERT_EQ(2, ListSSFiles("SYSTEM.INI", files.data()));
  EXPECT_STREQ("SYSTEM.INI|C://WINDOWS//|9|19981115|120000", files[0].fileKey);
  EXPECT_STREQ("SYSTEM.INI|C://WINDOWS//|10|19981116|120000", files[1].fileKey);
  EXPECT_TRUE(Untouched(files[2])) << "matching records are packed from the start";
  EXPECT_EQ(4, ListSSFiles("", files.data()));
  EXPECT_STREQ("system.ini", files[1].sourceName);
}

}  // namespace
}  // namespace snapshot::testing
