// Wildcard matching, 8.3 aliases and the folder listing's lookups (no disk involved).
#include <gtest/gtest.h>

#include <set>

#include "fs/folder_listing.h"
#include "fs/short_names.h"
#include "fs/wildcard.h"

namespace w98::internal {
namespace {

TEST(Wildcard, FollowsTheWindowsRulesForLongNames) {
  struct Case {
    const char* pattern;
    const char* name;
    bool matches;
  } cases[] = {
      {"*.*", "README", true},  // "*.*" also matches names without a dot
      {"*.*", "a.b.c", true},
      {"*", "x", true},
      {"*.", "README", true},  // "*." = names without an extension
      {"*.", "README.TXT", false},
      {"*.", "archive.tar.gz", false},
      {"*.txt", "notes.TXT", true},  // case-insensitive
      {"*.txt", "notes.txt.bak", false},
      {"*.htm", "index.html", false},  // the long name alone does not match ...
      {"A?.TXT", "A.TXT", true},       // '?' before a dot may match nothing
      {"A?.TXT", "AB.TXT", true},
      {"A?.TXT", "ABC.TXT", false},
      {"foo??.*", "foo.x", true},
      {"foo??.*", "foo12.x", true},
      {"foo??.*", "foo123.x", false},
      {"abc?", "abc", true},  // '?' at the end may match nothing
      {"abc?", "abcd", true},
      {"abc?", "abcde", false},
      {"?", "ab", false},
      {"FOO.*", "FOO", true},  // ".*" also matches the end of the name
      {"FOO.*", "FOOBAR", false},
      {"a*b*c", "aXXbYYc", true},
      {"a*b*c", "aXXbYY", false},
      {"*o*.ini", "win.ini", false},
      {"*i*.ini", "win.ini", true},
      {"win.ini", "WIN.INI", true},
      {"win.ini.", "WIN.INI", true},  // trailing dots and blanks are dropped
      {"win.ini ", "WIN.INI", true},
      {"*.?", "a.b", true},
      {"*.?", "a", true},
      {"*.?", "a.bc", false},
      {"?.*", ".profile", true},   // '?' matches nothing before the dot
      {"*.txt", "a.b.txt", true},  // '*' before '.' may take every dot but the last
      {"*.b", "a.b.c", false},
      {"*b.c", "a.b.c", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WildcardPattern(c.pattern).Matches(c.name), c.matches)
        << "pattern \"" << c.pattern << "\" against \"" << c.name << "\": expected "
        << (c.matches ? "a match" : "no match");
  }
}

TEST(ShortNames, AreMadeAsWindows98MakesThem) {
  struct Case {
    std::vector<std::string> names;
    std::vector<std::string> aliases;
  } cases[] = {
      {{"README.TXT"}, {""}},            // already 8.3: no alias
      {{"readme.txt"}, {"README.TXT"}},  // case alone needs no tail
      {{"index.html"}, {"INDEX~1.HTM"}},
      {{"Program Files"}, {"PROGRA~1"}},
      {{"My Documents", "My Music"}, {"MYDOCU~1", "MYMUSI~1"}},
      {{"a b.txt"}, {"AB~1.TXT"}},   // blanks are dropped, and that is lossy
      {{"x+y.txt"}, {"X_Y~1.TXT"}},  // '+' cannot be in a short name
      {{".profile"}, {"PROFIL~1"}},
      {{"a.b.c"}, {"AB~1.C"}},
      {{"longname1.txt", "longname2.txt", "longname3.txt"},
       {"LONGNA~1.TXT", "LONGNA~2.TXT", "LONGNA~3.TXT"}},
      // A real file already named like a tail keeps its name; the long name takes the next.
      {{"index.html", "INDEX~1.HTM"}, {"INDEX~2.HTM", ""}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AssignShortNames(c.names), c.aliases) << "for " << c.names.front();
  }
}

TEST(ShortNames, TailsStayUniqueAndShortInCrowdedFolders) {
  std::vector<std::string> names;
  for (int i = 0; i < 1200; ++i)
    names.push_back("Quarterly Report " + std::to_string(i) + ".document");
  const auto aliases = AssignShortNames(names);
  std::set<std::string> seen;
  for (const std::string& alias : aliases) {
    EXPECT_TRUE(IsShortName(alias)) << alias;
    EXPECT_TRUE(seen.insert(alias).second) << "duplicate alias " << alias;
  }
  EXPECT_EQ(aliases[0], "QUARTE~1.DOC");
  EXPECT_EQ(aliases[9], "QUART~10.DOC");  // the stem gives way as the number grows
  EXPECT_EQ(aliases[99], "QUAR~100.DOC");
}

TEST(FolderListing, ShowsOnlyNamesWindowsCanHoldAndFindsByNameOrAlias) {
  FolderListing listing({"zeta.txt", "Alpha.doc", "what?.txt", "bad:name", "tab\tname", "dots...",
                         "ALPHA.DOC",  // the same name as "Alpha.doc" to Windows
                         "index.html", std::string(256, 'n')});
  std::vector<std::string> shown;
  for (const FolderEntry& e : listing.Entries()) shown.push_back(e.name);
  EXPECT_EQ(shown, (std::vector<std::string>{"ALPHA.DOC", "index.html", "zeta.txt"}));
  ASSERT_NE(listing.Find("alpha.doc"), nullptr);
  EXPECT_EQ(listing.Find("alpha.doc")->name, "ALPHA.DOC");
  ASSERT_NE(listing.Find("index~1.htm"), nullptr);
  EXPECT_EQ(listing.Find("index~1.htm")->name, "index.html");
  EXPECT_EQ(listing.Find("what?.txt"), nullptr);
  EXPECT_EQ(listing.Find("missing"), nullptr);
}

}  // namespace
}  // namespace w98::internal
