#include "core/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <unordered_set>

namespace w98::internal {
namespace {

// The byte-at-a-time meaning of the word-at-a-time comparisons.
int SlowCompare(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(FoldCase(a[i]));
    const auto y = static_cast<unsigned char>(FoldCase(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Bytes next to the edges of the folded range ('@' 'A' 'Z' '[' '`' 'a' 'z' '{'), their
// counterparts with the top bit set (which never fold) and a few ordinary ones.
constexpr char kAlphabet[] = "@AZ[`az{\xC0\xC1\xDA\xDB\xE0\xE1\xFA\xFB\x80\xFF mM0|.\\";

// Twists one random byte of `text`: its case swapped, or another byte of the alphabet.
std::string Twist(std::string text, std::mt19937& random) {
  if (text.empty()) return text;
  char& c = text[random() % text.size()];
  if (random() % 2 == 0 && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
    c = static_cast<char>(c ^ 0x20);
  else
    c = kAlphabet[random() % (sizeof kAlphabet - 1)];
  return text;
}

TEST(NoCaseText, WordComparisonsAgreeWithFoldingEachByte) {
  std::mt19937 random(20261208);
  for (int round = 0; round < 200000; ++round) {
    std::string a(random() % 40, ' ');
    for (char& c : a) c = kAlphabet[random() % (sizeof kAlphabet - 1)];
    std::string b = Twist(a, random);
    if (random() % 2 == 0) b = Twist(b, random);  // two bytes apart, or next to each other
    if (random() % 4 == 0) b.resize(random() % (a.size() + 2), 'a');
    // The texts start inside a buffer, so no load may assume alignment or read past them.
    const std::string framed = "x" + a + "y";
    const std::string_view at = std::string_view(framed).substr(1, a.size());
    const int expected = SlowCompare(at, b);
    ASSERT_EQ(CompareNoCase(at, b), expected) << '"' << a << "\" \"" << b << '"';
    ASSERT_EQ(CompareNoCase(b, at), -expected) << '"' << a << "\" \"" << b << '"';
    ASSERT_EQ(EqualsNoCase(at, b), expected == 0) << '"' << a << "\" \"" << b << '"';
    if (expected == 0) {
      ASSERT_EQ(HashNoCase(at), HashNoCase(b)) << '"' << a << "\" \"" << b << '"';
    }
  }
}

TEST(NoCaseText, FoldsOnlyAsciiLettersAndOrdersShorterPrefixFirst) {
  EXPECT_TRUE(EqualsNoCase("SYSTEM.DAT|C://WINDOWS//|40960", "system.dat|c://windows//|40960"));
  EXPECT_FALSE(EqualsNoCase("\xE9t\xE9", "\xC9T\xC9"));  // bytes of 0x80 and above are exact
  EXPECT_FALSE(EqualsNoCase("[", "{"));                  // a fold would map them together
  EXPECT_FALSE(EqualsNoCase("@", "`"));
  EXPECT_LT(CompareNoCase("RefControlFile", "RefControlFile1"), 0);
  EXPECT_GT(CompareNoCase("RefControlFile10", "RefControlFile1"), 0);
  // Letters fold to upper case, so '_' (0x5F) sorts after every letter.
  EXPECT_GT(CompareNoCase("a_", "AB"), 0);
}

TEST(NoCaseText, HashSpreadsNamesThatDifferLate) {
  // Keys of one table differ only in their last characters; they must not share a few buckets.
  std::unordered_set<size_t> hashes;
  for (int i = 0; i < 10000; ++i)
    hashes.insert(HashNoCase("USER" + std::to_string(i) + ".DLL|C://WINDOWS//SYSTEM//|4096") %
                  10007);
  EXPECT_GT(hashes.size(), 6000u);
}

}  // namespace
}  // namespace w98::internal
