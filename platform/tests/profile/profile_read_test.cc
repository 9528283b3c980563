// Reading profile files as Windows 98 does: the Windows 98 column of the known differences.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "temp_machine.h"
#include "w98/windows.h"

namespace w98::testing {
namespace {

constexpr char kIni[] =
    "; a comment\r\n"
    "[ section1 ]\r\n"
    "key1 = value1 \r\n"
    "quoted=\"val2\"\r\n"
    "single=' padded '\r\n"
    "halfquote=\"open\r\n"
    "doubled=\"\"x\"\"\r\n"
    "no equals sign here\r\n"
    "empty=\r\n"
    "[Numbers]\n"
    "n12abc=12abc\n"
    "wrap=4294967297\n"
    "wrap0=4294967296\n"
    "prefix=42A94967297\n"
    "letter=B4294967297\n"
    "minus1=-1\n"
    "plus1=+1\n"
    "hex=0x10\n"
    "quotednum=\"7\"\n"
    "blank=\n"
    "space= 5 \n"
    "[cr only]\rk=cr\r";

TEST(GetPrivateProfileInt, ParsesAsWindows98) {
  TempMachine machine;
  machine.WriteFile("WINDOWS/TEST.INI", kIni);
  struct Case {
    const char* key;
    INT fallback;
    UINT expected;
  } cases[] = {
      {"n12abc", 5, 12},
      {"wrap", 5, 1},
      {"wrap0", 5, 0},
      {"prefix", 5, 42},
      {"letter", 5, 0},
      {"minus1", 5, 0xFFFFFFFFu},
      {"plus1", 5, 0},
      {"hex", 5, 0},
      {"quotednum", 5, 7},
      {"blank", 5, 5},
      {"space", 9, 5},
      {"missing", 77, 77},
      {"missing", -3, 0xFFFFFFFDu},
  };
  for (const Case& c : cases)
    EXPECT_EQ(GetPrivateProfileIntA("numbers", c.key, c.fallback, "test.ini"), c.expected) << c.key;
  EXPECT_EQ(GetPrivateProfileIntA("nosuch", "n12abc", 3, "test.ini"), 3u);
  EXPECT_EQ(GetPrivateProfileIntA(nullptr, "n12abc", 3, "test.ini"), 0u) << "9x: NULL section";
  EXPECT_EQ(GetPrivateProfileIntA("numbers", nullptr, 3, "test.ini"), 0u) << "9x: NULL key";
  EXPECT_EQ(GetPrivateProfileIntA("numbers", "wrap", 3, "C:\\NO\\SUCH.INI"), 3u);
}

TEST(GetPrivateProfileString, ReadsValuesAndDefaults) {
  TempMachine machine;
  machine.WriteFile("WINDOWS/TEST.INI", kIni);
  struct Case {
    const char* section;
    const char* key;
    const char* fallback;
    const char* expected;
  } cases[] = {
      {"section1", "key1", "d", "value1"},       // blanks around section, key and value
      {"SECTION1", "KEY1", "d", "value1"},       // case-insensitive
      {"section1", "quoted", "d", "val2"},       // matching quotes stripped
      {"section1", "single", "d", " padded "},   // quotes keep inner blanks
      {"section1", "halfquote", "d", "\"open"},  // unmatched quote kept
      {"section1", "doubled", "d", "\"x\""},     // one pair only
      {"section1", "empty", "d", ""},            // present but empty: not the default
      {"section1", "no equals sign here", "d", "d"},
      {"section1", "; a comment", "d", "d"},
      {"section1", "missing", "def  ", "def"},  // default loses trailing blanks
      {"section1", "missing", "  lead", "  lead"},
      {"section1", "missing", nullptr, ""},
      {"nosuch", "key1", "dflt", "dflt"},
      {"cr only", "k", "d", "cr"},      // CR-only line ends
      {"Numbers", "hex", "d", "0x10"},  // LF-only line ends
  };
  for (const Case& c : cases) {
    char buffer[64];
    std::memset(buffer, 'Z', sizeof buffer);
    const DWORD n =
        GetPrivateProfileStringA(c.section, c.key, c.fallback, buffer, sizeof buffer, "TEST.INI");
    EXPECT_STREQ(buffer, c.expected) << c.section << "/" << c.key;
    EXPECT_EQ(n, std::strlen(c.expected)) << c.section << "/" << c.key;
  }
  // The same through a full path, and a file that does not exist.
  char buffer[16];
  EXPECT_EQ(GetPrivateProfileStringA("section1", "key1", "", buffer, sizeof buffer,
                                     "c:\\windows\\test.ini"),
            6u);
  EXPECT_EQ(
      GetPrivateProfileStringA("section1", "key1", "x", buffer, sizeof buffer, "C:\\NOPE.INI"), 1u);
  EXPECT_STREQ(buffer, "x");
}

TEST(GetPrivateProfileString, TruncatesToTheBuffer) {
  TempMachine machine;
  machine.WriteFile("WINDOWS/TEST.INI", kIni);
  struct Case {
    DWORD size;
    DWORD expected;
    const char* text;
  } cases[] = {{7, 6, "value1"}, {6, 5, "value"}, {2, 1, "v"}, {1, 0, ""}};
  for (const Case& c : cases) {
    char buffer[16];
    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(GetPrivateProfileStringA("section1", "key1", "", buffer, c.size, "TEST.INI"),
              c.expected)
        << "nSize " << c.size;
    EXPECT_STREQ(buffer, c.text) << "nSize " << c.size;
    EXPECT_EQ(buffer[c.size], 'Z') << "wrote past nSize " << c.size;
  }
  char untouched = 'Z';
  EXPECT_EQ(GetPrivateProfileStringA("section1", "key1", "", &untouched, 0, "TEST.INI"), 0u);
  EXPECT_EQ(untouched, 'Z');
}

std::string List(const char* buffer, DWORD n) {
  return std::string(buffer, n);
}

TEST(GetPrivateProfileString, ListsSectionsAndKeysAsDoubleNulLists) {
  TempMachine machine;
  machine.WriteFile("WINDOWS/LIST.INI", "[one]\r\na=1\r\nbb=2\r\n[Two]\r\n[three]\r\nc=3\r\n");
  char buffer[64];
  std::memset(buffer, 'Z', sizeof buffer);
  DWORD n = GetPrivateProfileStringA(nullptr, "ignored", "d", buffer, sizeof buffer, "LIST.INI");
  EXPECT_EQ(List(buffer, n + 1), std::string("one\0Two\0three\0\0", 15));
  n = GetPrivateProfileStringA("ONE", nullptr, "d", buffer, sizeof buffer, "LIST.INI");
  EXPECT_EQ(List(buffer, n + 1), std::string("a\0bb\0\0", 6));
  n = GetPrivateProfileStringA("Two", nullptr, "d", buffer, sizeof buffer, "LIST.INI");
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(List(buffer, 2), std::string("\0\0", 2));

  // A list that does not fit: cut, ended by two NULs, nSize - 2 returned.
  struct Case {
    DWORD size;
    std::string expected;
  } cases[] = {{15, std::string("one\0Two\0three\0\0", 15)},
               {14, std::string("one\0Two\0thre\0\0", 14)},
               {6, std::string("one\0\0\0", 6)},
               {5, std::string("one\0\0", 5)},
               {2, std::string("\0\0", 2)}};
  for (const Case& c : cases) {
    std::memset(buffer, 'Z', sizeof buffer);
    n = GetPrivateProfileStringA(nullptr, nullptr, nullptr, buffer, c.size, "LIST.INI");
    EXPECT_EQ(n, c.size == 15 ? 14u : c.size - 2) << "nSize " << c.size;
    EXPECT_EQ(List(buffer, c.size), c.expected) << "nSize " << c.size;
    EXPECT_EQ(buffer[c.size], 'Z') << "wrote past nSize " << c.size;
  }
}

TEST(GetProfileString, ReadsWinIniInTheWindowsFolder) {
  TempMachine machine;
  char buffer[32];
  EXPECT_EQ(GetProfileStringA("Desktop", "Wallpaper", "", buffer, sizeof buffer), 6u);
  EXPECT_STREQ(buffer, "(None)");
  EXPECT_EQ(GetProfileIntA("intl", "iCountry", 0), 1u);
}

}  // namespace
}  // namespace w98::testing
