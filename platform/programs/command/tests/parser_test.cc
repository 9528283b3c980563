// The lexical and parsing rules of batch lines, table by table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "batch_text.h"
#include "invocation.h"
#include "line_parser.h"

namespace command {
namespace {

TEST(BatchTextTest, ExpandPercents) {
  const std::vector<std::string> args = {"RB.BAT", "one", "\"two words\""};
  const VariableLookup lookup = [](std::string_view name, std::string* value) {
    if (name == "WINDIR")
      *value = "C:\\WINDOWS";
    else if (name == "A B")
      *value = "spaced";
    else
      return false;
    return true;
  };
  struct Case {
    const char* line;
    const char* expected;
  } cases[] = {
      {"100%%", "100%"},
      {"%%1 is %1", "%1 is one"},
      {"%0 %2 [%3] [%9]", "RB.BAT \"two words\" [] []"},
      {"%windir%\\regedit.exe", "C:\\WINDOWS\\regedit.exe"},
      {"[%UNDEFINED%]", "[]"},
      {"%a b%", "spaced"},
      {"50% off", "50 off"},  // a '%' with no closing '%' is dropped
      {"end%", "end"},
      {"%1%", "one"},
      {"%%%1%%", "%one%"},
      {"%", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ExpandPercents(c.line, args, lookup), c.expected) << "line: " << c.line;
}

TEST(BatchTextTest, SplitBatchLinesKeepsLongLinesAndStopsAtCtrlZ) {
  const std::string deep = "COPY /Y \"C:\\" + std::string(200, 'D') + "\\X.DLL\" \"C:\\Y\"";
  const auto lines = SplitBatchLines("a\r\nb\nc\rd\r\n\r\n" + deep + "\r\nlast");
  const std::vector<std::string> expected = {"a", "b", "c", "d", "", deep, "last"};
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(SplitBatchLines("one\r\ntwo\x1a\r\nnever\r\n"),
            (std::vector<std::string>{"one", "two"}));
  EXPECT_TRUE(SplitBatchLines("").empty());
}

TEST(BatchTextTest, WordsKeepQuotesAndSurviveAnUnterminatedQuote) {
  EXPECT_EQ(SplitWords(" a,b;c=d\t\"e f\" g\"h i\""),
            (std::vector<std::string>{"a", "b", "c", "d", "\"e f\"", "g\"h i\""}));
  EXPECT_EQ(SplitWords("x \"never closed , ; ="),
            (std::vector<std::string>{"x", "\"never closed , ; ="}));
  EXPECT_EQ(Unquote("\"C:\\Program Files\"\\a.txt"), "C:\\Program Files\\a.txt");
}

TEST(LineParserTest, ClassifyLine) {
  struct Case {
    const char* line;
    BatchLine::Kind kind;
    bool quiet;
    const char* text;
  } cases[] = {
      {"@echo off", BatchLine::Kind::kCommand, true, "echo off"},
      {"  @ @ ECHO x", BatchLine::Kind::kCommand, true, "ECHO x"},
      {"   \t", BatchLine::Kind::kEmpty, false, ""},
      {"@", BatchLine::Kind::kEmpty, true, ""},
      {":DOSRESTORE", BatchLine::Kind::kLabel, false, "DOSRESTORE"},
      {"  : spaced label", BatchLine::Kind::kLabel, false, " spaced label"},
      {":: rem > never.txt", BatchLine::Kind::kLabel, false, ": rem > never.txt"},
      {"COPY a b", BatchLine::Kind::kCommand, false, "COPY a b"},
  };
  for (const auto& c : cases) {
    const BatchLine line = ClassifyLine(c.line);
    EXPECT_EQ(line.kind, c.kind) << c.line;
    EXPECT_EQ(line.quiet, c.quiet) << c.line;
    EXPECT_EQ(line.text, c.text) << c.line;
  }
}

TEST(LineParserTest, LabelsCompareEightCharactersWithoutCase) {
  EXPECT_EQ(LabelKey("ENDQUICKDOSRESTORE"), "ENDQUICK");
  EXPECT_EQ(LabelKey(" dosrestore trailing words"), "DOSRESTO");
  EXPECT_EQ(GotoTarget(" :end"), "END");
  EXPECT_EQ(GotoTarget(" QuickDosRestore"), LabelKey("QUICKDOSRESTORE"));
  EXPECT_EQ(GotoTarget("   "), "");
}

TEST(LineParserTest, ParseCommand) {
  using R = Redirection::Kind;
  struct Case {
    const char* text;
    Internal internal;
    const char* name;
    const char* tail;
    std::vector<std::pair<R, std::string>> redirections;
    const char* error;
  } cases[] = {
      {"ECHO.", Internal::kEcho, "ECHO", ".", {}, ""},
      {"echo hi > \"c:\\out file.txt\"",
       Internal::kEcho,
       "ECHO",
       " hi ",
       {{R::kOutput, "c:\\out file.txt"}},
       ""},
      {"echo a>>log.txt", Internal::kEcho, "ECHO", " a", {{R::kAppend, "log.txt"}}, ""},
      {"> first.txt echo hi", Internal::kEcho, "ECHO", " hi", {{R::kOutput, "first.txt"}}, ""},
      {"rem > \"C:\\A B\\empty.txt\"",
       Internal::kRem,
       "REM",
       " ",
       {{R::kOutput, "C:\\A B\\empty.txt"}},
       ""},
      // Comment text never redirects, even with '>' or '|' in it.
      {"REM COMMENTS=before > after | x",
       Internal::kRem,
       "REM",
       " COMMENTS=before > after | x",
       {},
       ""},
      {"\"C:\\WINDOWS\\ZEMO\\SNAPSHOT\\trestore.exe\" \"c:\\windows\\temp\\trestdat\" -o ",
       Internal::kNone,
       "\"C:\\WINDOWS\\ZEMO\\SNAPSHOT\\trestore.exe\"",
       " \"c:\\windows\\temp\\trestdat\" -o ",
       {},
       ""},
      {"c:\\windows\\command\\ATTRIB  +A  +S  +H  +R  \"C:\\P\"",
       Internal::kNone,
       "c:\\windows\\command\\ATTRIB",
       "  +A  +S  +H  +R  \"C:\\P\"",
       {},
       ""},
      {"CD\\", Internal::kCd, "CD", "\\", {}, ""},
      {"copy/y a b", Internal::kCopy, "COPY", "/y a b", {}, ""},
      {"echo a | more", Internal::kEcho, "ECHO", " a | more", {}, "Pipes are not supported"},
      {"echo \"a | b > c\"", Internal::kEcho, "ECHO", " \"a | b > c\"", {}, ""},
      {"echo >", Internal::kEcho, "ECHO", " ", {}, "Syntax error"},
      {"IF EXIST x rem > y", Internal::kIf, "IF", " EXIST x rem > y", {}, ""},
      {"for %a in (x) do y", Internal::kUnsupported, "FOR", " %a in (x) do y", {}, ""},
      {"\"C:\\Never closed\\x.exe -o > out",
       Internal::kNone,
       "\"C:\\Never closed\\x.exe -o > out",
       "",
       {},
       ""},
      {"echo \"open > x", Internal::kEcho, "ECHO", " \"open > x", {}, ""},
      {"ECHOES", Internal::kNone, "ECHOES", "", {}, ""},
  };
  for (const auto& c : cases) {
    const SimpleCommand command = ParseCommand(c.text);
    EXPECT_EQ(command.internal, c.internal) << c.text;
    EXPECT_EQ(command.name, c.name) << c.text;
    EXPECT_EQ(command.tail, c.tail) << c.text;
    EXPECT_EQ(command.error, c.error) << c.text;
    ASSERT_EQ(command.redirections.size(), c.redirections.size()) << c.text;
    for (size_t i = 0; i < c.redirections.size(); ++i) {
      EXPECT_EQ(command.redirections[i].kind, c.redirections[i].first) << c.text;
      EXPECT_EQ(command.redirections[i].target, c.redirections[i].second) << c.text;
    }
  }
}

TEST(LineParserTest, ParseIf) {
  using K = IfClause::Kind;
  struct Case {
    const char* tail;
    K kind;
    bool negate;
    unsigned long level;
    const char* left;
    const char* right;
    const char* command;
    const char* error;
  } cases[] = {
      {" ERRORLEVEL 5 GOTO ENDQUICKDOSRESTORE", K::kErrorLevel, false, 5, "", "",
       "GOTO ENDQUICKDOSRESTORE", ""},
      {" not errorlevel 1 echo ok", K::kErrorLevel, true, 1, "", "", "echo ok", ""},
      {" EXIST \"C:\\Program Files\\a b.txt\" c:\\windows\\command\\ATTRIB -R", K::kExist, false, 0,
       "\"C:\\Program Files\\a b.txt\"", "", "c:\\windows\\command\\ATTRIB -R", ""},
      {" NOT EXIST c:\\x.exe GOTO DOSRESTORE", K::kExist, true, 0, "c:\\x.exe", "",
       "GOTO DOSRESTORE", ""},
      {" \"\"==\"\" GOTO none", K::kCompare, false, 0, "\"\"", "\"\"", "GOTO none", ""},
      {" NOT \"a b\"==\"a b\" echo x", K::kCompare, true, 0, "\"a b\"", "\"a b\"", "echo x", ""},
      {" a == b echo x", K::kCompare, false, 0, "a", "b", "echo x", ""},
      {" errorlevel==1 echo x", K::kCompare, false, 0, "errorlevel", "1", "echo x", ""},
      {" ERRORLEVEL x echo", K::kErrorLevel, false, 0, "", "", "", "Syntax error"},
      {" ERRORLEVEL 5", K::kErrorLevel, false, 5, "", "", "", "Syntax error"},
      {" EXIST", K::kExist, false, 0, "", "", "", "Syntax error"},
      {" abc echo x", K::kCompare, false, 0, "abc", "", "", "Syntax error"},
      {" \"unterminated==x echo", K::kCompare, false, 0, "\"unterminated==x echo", "", "",
       "Syntax error"},
  };
  for (const auto& c : cases) {
    const IfClause clause = ParseIf(c.tail);
    EXPECT_EQ(clause.error, c.error) << c.tail;
    EXPECT_EQ(clause.kind, c.kind) << c.tail;
    EXPECT_EQ(clause.negate, c.negate) << c.tail;
    if (!clause.error.empty()) continue;
    EXPECT_EQ(clause.level, c.level) << c.tail;
    EXPECT_EQ(clause.left, c.left) << c.tail;
    EXPECT_EQ(clause.right, c.right) << c.tail;
    EXPECT_EQ(clause.command, c.command) << c.tail;
  }
}

TEST(InvocationTest, JoinInvocation) {
  const auto none = [](const std::string&) { return false; };
  const auto all = [](const std::string&) { return true; };
  EXPECT_EQ(JoinInvocation({"/C", "echo hi there"}, none), "/C echo hi there");
  EXPECT_EQ(JoinInvocation({"/c", "C:\\Long Path\\x.bat"}, all), "/c \"C:\\Long Path\\x.bat\"");
  EXPECT_EQ(JoinInvocation({"/C", "x.bat", "a b", ""}, none), "/C x.bat \"a b\" \"\"");
  EXPECT_EQ(JoinInvocation({"/E:1024", "/C", "\"q d\" x"}, none), "/E:1024 /C \"q d\" x");
}

}  // namespace
}  // namespace command
