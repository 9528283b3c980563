// Parsing of the quick-restore list as the engine writes it (text mode: CR LF).
#include "restore_list.h"

#include <gtest/gtest.h>

#include "w98/windows.h"

namespace trestore {
namespace {

TEST(RestoreListTest, ParsesRecordsAsWritten) {
  const std::string text =
      "::Quillow DOS Restore File"
      "\r\n4.10.1998\tC:\\WINDOWS\\SYSTEM\\USER.EXE\tc:\\windows\\zemo\\snapshot\\backup\\"
      "0000001A.001\tSHR"
      "\r\nNONE\tC:\\WINDOWS\\SYSTEM.INI\tc:\\store\\backup\\0000002B.001\t"
      "\r\n\r\n"
      "\nNONE\tC:\\CONFIG.SYS\tc:\\store\\backup\\0000003C.001";  // letters' tab dropped
  RestoreList list;
  list.malformed.push_back("sentinel");
  ASSERT_TRUE(ParseRestoreList(text, &list));
  ASSERT_EQ(list.records.size(), 3u);
  EXPECT_TRUE(list.malformed.empty());
  EXPECT_EQ(list.records[0].version, "4.10.1998");
  EXPECT_EQ(list.records[0].original, "C:\\WINDOWS\\SYSTEM\\USER.EXE");
  EXPECT_EQ(list.records[0].stored, "c:\\windows\\zemo\\snapshot\\backup\\0000001A.001");
  EXPECT_EQ(list.records[0].attributes,
            static_cast<uint32_t>(FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(list.records[1].version, "NONE");
  EXPECT_EQ(list.records[1].attributes, 0u);
  EXPECT_EQ(list.records[2].original, "C:\\CONFIG.SYS");
}

TEST(RestoreListTest, HeaderOnlyAndMalformedRecords) {
  RestoreList list;
  ASSERT_TRUE(ParseRestoreList("::Quillow DOS Restore File", &list));
  EXPECT_TRUE(list.records.empty());
  EXPECT_TRUE(list.malformed.empty());

  ASSERT_TRUE(
      ParseRestoreList("::Quillow DOS Restore File\r\n"
                       "NONE\tC:\\A.TXT\r\n"                          // too few fields
                       "NONE\t\tC:\\S\\B.001\t\r\n"                   // empty path
                       "NONE\tC:\\C.TXT\tC:\\S\\C.001\tSX\r\n"        // bad letter
                       "NONE\tC:\\D.TXT\tC:\\S\\D.001\tH\textra\r\n"  // too many
                       "NONE\tC:\\E.TXT\tC:\\S\\E.001\th\r\n",
                       &list));
  ASSERT_EQ(list.records.size(), 1u);
  EXPECT_EQ(list.records[0].original, "C:\\E.TXT");
  EXPECT_EQ(list.malformed.size(), 4u);

  EXPECT_FALSE(ParseRestoreList("", &list));
  EXPECT_FALSE(ParseRestoreList("::Other File\r\nNONE\tC:\\A\tC:\\B\t", &list));
  EXPECT_FALSE(ParseRestoreList("\r\n::Quillow DOS Restore File", &list));
}

}  // namespace
}  // namespace trestore
