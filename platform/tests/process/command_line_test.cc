// Command lines: the C runtime's splitting, quoting back, and the names CreateProcessA tries.
#include "process/command_line.h"

#include <gtest/gtest.h>

namespace {

using w98::internal::ProgramNameCandidates;
using w98::internal::QuoteArgument;
using w98::internal::SplitCommandLine;
using Args = std::vector<std::string>;

TEST(CommandLineTest, SplitsAsTheCRuntime) {
  struct Case {
    const char* line;
    Args expected;
  };
  const Case cases[] = {
      {"", {}},
      {"  a  b\tc ", {"a", "b", "c"}},
      {R"(/E c:\windows\zemo\snapshot\alltabs.sav   HKEY_CURRENT_USER\Software\Zemo\Snapshot)",
       {"/E", R"(c:\windows\zemo\snapshot\alltabs.sav)",
        R"(HKEY_CURRENT_USER\Software\Zemo\Snapshot)"}},
      {R"("a b" c)", {"a b", "c"}},
      {R"(a"b c"d)", {"ab cd"}},
      {R"(\\server\share\)", {R"(\\server\share\)"}},  // backslashes kept unless before a quote
      {R"("c:\dir\\" x)", {R"(c:\dir\)", "x"}},        // 2n backslashes + quote: n, quote ends
      {R"(a\"b)", {R"(a"b)"}},                         // 2n+1 backslashes + quote: literal
      {R"(a\\\"b)", {R"(a\"b)"}},
      {R"("say ""hi""")", {R"(say "hi")"}},
      {R"("")", {""}},
      {R"("unterminated arg)", {"unterminated arg"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.expected) << c.line;
}

TEST(CommandLineTest, QuotingRoundTrips) {
  for (const std::string arg : {"plain", "two words", "", R"(tail\)", R"(dir with\ slash\)",
                                R"(q"uote)", R"(back\\"slash)", "\ttab"}) {
    const auto split = SplitCommandLine("prog " + QuoteArgument(arg) + " next");
    ASSERT_EQ(split.size(), 3u) << arg;
    EXPECT_EQ(split[1], arg);
    EXPECT_EQ(split[2], "next");
  }
}

TEST(CommandLineTest, UnquotedNamesWithBlanksAreTriedAtEachBlank) {
  const auto candidates = ProgramNameCandidates(R"(c:\program files\sub dir\program name)");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {R"(c:\program)", R"(files\sub dir\program name)"},
      {R"(c:\program files\sub)", R"(dir\program name)"},
      {R"(c:\program files\sub dir\program)", "name"},
      {R"(c:\program files\sub dir\program name)", ""},
  };
  EXPECT_EQ(candidates, expected);
  const auto quoted = ProgramNameCandidates(R"("c:\my apps\x.exe"  -a "b c")");
  ASSERT_EQ(quoted.size(), 1u);
  EXPECT_EQ(quoted[0].first, R"(c:\my apps\x.exe)");
  EXPECT_EQ(quoted[0].second, R"(-a "b c")");
}

}  // namespace
