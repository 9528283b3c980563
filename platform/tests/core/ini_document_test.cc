#include "core/ini_document.h"

#include <gtest/gtest.h>

namespace w98::internal {
namespace {

TEST(IniDocument, KeepsUntouchedLinesAndReplacesInPlace) {
  IniDocument doc = IniDocument::Parse(
      "; comment\n[Boot]\nshell=Explorer.exe\nnot a key\n\n[ Options ]\r\nLogo = 1\r\n");
  EXPECT_EQ(doc.Get("boot", "SHELL").value(), "Explorer.exe");
  EXPECT_EQ(doc.Get("options", "logo").value(), "1");
  EXPECT_FALSE(doc.Get("boot", "not a key").has_value());
  doc.Set("OPTIONS", "logo", "0");
  doc.Set("boot", "new", "x");
  doc.Set("Fresh", "k", "v");
  EXPECT_EQ(doc.Serialize(),
            "; comment\r\n[Boot]\r\nshell=Explorer.exe\r\nnot a key\r\nnew=x\r\n\r\n"
            "[ Options ]\r\nLogo=0\r\n[Fresh]\r\nk=v\r\n");
}

TEST(IniDocument, DeletesKeysAndSections) {
  IniDocument doc = IniDocument::Parse("[a]\r\nx=1\r\ny=2\r\n[b]\r\nz=3\r\n");
  EXPECT_TRUE(doc.DeleteKey("A", "X"));
  EXPECT_FALSE(doc.DeleteKey("a", "x"));
  EXPECT_TRUE(doc.DeleteSection("B"));
  EXPECT_EQ(doc.Serialize(), "[a]\r\ny=2\r\n");
  EXPECT_EQ(doc.Sections(), std::vector<std::string>{"a"});
  EXPECT_EQ(doc.Keys("a"), std::vector<std::string>{"y"});
}

}  // namespace
}  // namespace w98::internal
