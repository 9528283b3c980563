// The sorted sequence behind a key's values and subkeys, at sizes that span many chunks.
#include "registry/name_sorted.h"

#include <gtest/gtest.h>
#include <strings.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

struct Item {
  std::string name;
  int payload = 0;
};
struct ItemName {
  static std::string_view Of(const Item& item) { return item.name; }
};
using Sequence = w98::internal::NameSorted<Item, ItemName>;

bool LessNoCase(const std::string& a, const std::string& b) {
  return strcasecmp(a.c_str(), b.c_str()) < 0;
}

std::vector<std::string> ByIndex(const Sequence& sequence) {
  std::vector<std::string> names;
  for (size_t i = 0; i < sequence.size(); ++i) names.push_back(sequence[i].name);
  return names;
}

std::vector<std::string> ByIteration(const Sequence& sequence) {
  std::vector<std::string> names;
  for (const Item& item : sequence) names.push_back(item.name);
  return names;
}

// Numbered names as a catalogue list makes them: each lands between names made long before.
std::vector<std::string> Numbered(int count) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back((i % 3 ? "File" : "FILE") + std::to_string(i));
  return names;
}

TEST(NameSortedTest, ElementsAddedAnywhereReadBackInOrderByIndexAndByIteration) {
  Sequence sequence;
  std::vector<std::string> names = Numbered(5000);
  for (size_t i = 0; i < names.size(); ++i) {
    // Insertion hands back the element in its place.
    Item& placed = sequence.Insert({names[i], static_cast<int>(i)});
    ASSERT_EQ(placed.name, names[i]);
    placed.payload = -static_cast<int>(i);
  }
  for (size_t i = 0; i < names.size(); ++i) {
    const Item* found = sequence.Find(names[i]);
    ASSERT_NE(found, nullptr);
    ASSERT_EQ(found->payload, -static_cast<int>(i));
  }
  std::sort(names.begin(), names.end(), LessNoCase);
  ASSERT_EQ(sequence.size(), names.size());
  EXPECT_EQ(ByIndex(sequence), names);
  EXPECT_EQ(ByIteration(sequence), names);
  // Indexes reached out of order (backwards, and jumping) give the same elements.
  for (size_t i = names.size(); i-- > 0;) ASSERT_EQ(sequence[i].name, names[i]) << i;
  std::mt19937 random(7);
  for (int n = 0; n < 2000; ++n) {
    const size_t i = random() % names.size();
    ASSERT_EQ(sequence[i].name, names[i]) << i;
  }
}

TEST(NameSortedTest, FindsAndErasesWithoutRegardToCase) {
  Sequence sequence;
  for (const std::string& name : Numbered(3000)) sequence.Insert({name, 1});
  ASSERT_NE(sequence.Find("file2999"), nullptr);
  const Item* found = sequence.Find("fILE1500");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->name, "FILE1500");
  EXPECT_EQ(sequence.Find("File3000"), nullptr);
  EXPECT_EQ(sequence.Find("File"), nullptr);
  EXPECT_EQ(sequence.Find("zzz"), nullptr);
  EXPECT_EQ(sequence.LowerBound("FILE0"), 0u);
  EXPECT_EQ(sequence.LowerBound("zzz"), sequence.size());

  // Every other element goes, by name and by index, from the front, the back and between.
  std::vector<std::string> kept;
  for (const std::string& name : Numbered(3000)) {
    const int number = std::stoi(name.substr(4));
    if (number % 2 == 0)
      ASSERT_TRUE(sequence.Erase("file" + std::to_string(number))) << name;
    else
      kept.push_back(name);
  }
  EXPECT_FALSE(sequence.Erase("File0"));
  std::sort(kept.begin(), kept.end(), LessNoCase);
  EXPECT_EQ(ByIndex(sequence), kept);
  sequence.EraseAt(0);
  sequence.EraseAt(sequence.size() - 1);
  sequence.EraseAt(sequence.size() / 2);
  kept.erase(kept.begin() + static_cast<std::ptrdiff_t>((kept.size() - 2) / 2) + 1);
  kept.erase(kept.begin());
  kept.pop_back();
  EXPECT_EQ(ByIndex(sequence), kept);
  EXPECT_EQ(ByIteration(sequence), kept);
  while (!sequence.empty()) sequence.EraseAt(sequence.size() / 3);
  EXPECT_EQ(sequence.begin(), sequence.end());
  sequence.Insert({"again", 2});
  EXPECT_EQ(ByIndex(sequence), std::vector<std::string>{"again"});
}

TEST(NameSortedTest, FindOrInsertFindsAnyCaseAndOtherwiseInsertsInOrder) {
  Sequence sequence;
  std::vector<std::string> names = Numbered(1500);
  int made = 0;
  const auto make = [&](const std::string& name) {
    return [&made, name] {
      ++made;
      return Item{name, 1};
    };
  };
  bool inserted = false;
  for (const std::string& name : names) {
    Item& item = sequence.FindOrInsert(name, make(name), &inserted);
    ASSERT_TRUE(inserted) << name;
    ASSERT_EQ(item.name, name);
  }
  EXPECT_EQ(made, 1500);
  // Present in another case: found, the element kept as it was, nothing made.
  Item& found = sequence.FindOrInsert("fIlE700", make("fIlE700"), &inserted);
  EXPECT_FALSE(inserted);
  EXPECT_EQ(found.name, "File700");
  found.payload = 9;
  EXPECT_EQ(sequence.Find("FILE700")->payload, 9);
  EXPECT_EQ(made, 1500);
  // Missing names land between, before and after the others, across chunk splits.
  for (const char* name : {"File7000a", "A", "zz", "File", "File1499x"}) {
    ASSERT_EQ(sequence.FindOrInsert(name, make(name), &inserted).name, name);
    EXPECT_TRUE(inserted) << name;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end(), LessNoCase);
  EXPECT_EQ(ByIndex(sequence), names);
  EXPECT_EQ(ByIteration(sequence), names);
}

TEST(NameSortedTest, ASortedAssignmentTakesInsertionsAfterIt) {
  std::vector<std::string> names = Numbered(2000);
  std::sort(names.begin(), names.end(), LessNoCase);
  std::vector<Item> items;
  for (const std::string& name : names) items.push_back({name, 0});
  Sequence sequence;
  sequence.Insert({"stale", 0});
  sequence.AssignSorted(std::move(items));
  EXPECT_EQ(sequence.Find("stale"), nullptr);
  EXPECT_EQ(ByIndex(sequence), names);
  for (const char* name : {"A", "File1000a", "zz"}) {
    sequence.Insert({name, 0});
    names.push_back(name);
  }
  std::sort(names.begin(), names.end(), LessNoCase);
  EXPECT_EQ(ByIndex(sequence), names);
  // A copy is a sequence of its own.
  Sequence copy = sequence;
  Item* in_copy = copy.Find("A");
  const Item* in_original = sequence.Find("a");
  ASSERT_TRUE(in_copy != nullptr && in_original != nullptr);
  in_copy->payload = 5;
  EXPECT_EQ(in_original->payload, 0);
  EXPECT_EQ(ByIteration(copy), names);
  sequence.clear();
  EXPECT_TRUE(sequence.empty());
  EXPECT_EQ(sequence.LowerBound("x"), 0u);
}

// Names that agree in their first eight bytes, or end at them, are ordered by what follows;
// names that differ there are ordered by their first differing byte, folded to upper case.
TEST(NameSortedTest, NamesAroundTheirFirstEightBytesKeepTheFoldedByteOrder) {
  const auto less = [](const std::string& a, const std::string& b) {
    return w98::internal::CompareNoCase(a, b) < 0;
  };
  std::mt19937 random(8);
  const std::string alphabet = "aAbB_[`{0~\xE9";
  std::vector<std::string> names;
  Sequence sequence;
  for (int i = 0; i < 3000; ++i) {
    std::string name(5 + random() % 7, 'x');  // 5 to 11 bytes: either side of eight
    for (char& c : name) c = alphabet[random() % alphabet.size()];
    if (i % 5 == 0 && !names.empty()) {
      // Another name's first bytes in another case, with something else after them.
      name = names[random() % names.size()].substr(0, 8) + name.substr(0, random() % 4);
      name = w98::internal::UpperCase(name);
    }
    bool inserted = false;
    sequence.FindOrInsert(
        name,
        [&] {
          return Item{name, i};
        },
        &inserted);
    const bool known = std::any_of(names.begin(), names.end(), [&](const std::string& other) {
      return w98::internal::EqualsNoCase(other, name);
    });
    ASSERT_EQ(inserted, !known) << name;
    if (inserted) names.push_back(name);
  }
  // Hundreds of names that share their first eight bytes, across chunk splits.
  std::vector<std::string> numbered;
  for (int i = 1; i <= 400; ++i) numbered.push_back("RefControlFile" + std::to_string(i));
  for (const char* tail : {"c", "a", "b"}) numbered.push_back(std::string(8, '\xFF') + tail);
  std::shuffle(numbered.begin(), numbered.end(), random);
  for (const std::string& name : numbered) {
    sequence.Insert({name, 0});
    names.push_back(name);
  }
  std::sort(names.begin(), names.end(), less);
  EXPECT_EQ(ByIteration(sequence), names);
  for (size_t i = 0; i < names.size(); ++i) {
    std::string other_case = names[i];
    for (char& c : other_case) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    ASSERT_EQ(sequence.LowerBound(other_case), i) << other_case;
    const Item* found = sequence.Find(other_case);
    ASSERT_NE(found, nullptr) << other_case;
    EXPECT_EQ(found->name, names[i]);
  }
}

}  // namespace
