// The per-file restore block of a save: a header naming the file, then the lines that put it
// back. The lines depend on whether the file is empty (recreated with "rem >", never copied)
// and on whether it has attributes beyond archive (cleared before and set again after).
#include "file_facts.h"
#include "texts/texts.h"

namespace snapshot::texts {
namespace {

constexpr std::string_view kHeader = "\nREM FILENAME=\"{ORIG}\" VERSION={VER}\n";
constexpr std::string_view kUnprotect =
    "IF EXIST \"{ORIG}\" c:\\windows\\command\\ATTRIB -R -S -H \"{ORIG}\"\n";
constexpr std::string_view kCopy = "COPY /Y \"{STORED}\" \"{ORIG}\"\n";
constexpr std::string_view kRecreateEmpty = "rem > \"{ORIG}\"\n";
// {ATTRS} begins and ends with a blank, so this line holds doubled blanks.
constexpr std::string_view kSetAttributes = "c:\\windows\\command\\ATTRIB {ATTRS} \"{ORIG}\"\n";

struct Shape {
  bool empty;
  bool plain;  // only the archive attribute
  std::string_view lines[3];
};

// One row per combination of size and attributes: the lines after the header.
constexpr Shape kShapes[] = {
    {false, false, {kUnprotect, kCopy, kSetAttributes}},
    {false, true, {kCopy}},
    {true, false, {kUnprotect, kRecreateEmpty, kSetAttributes}},
    {true, true, {kRecreateEmpty}},
};

}  // namespace

std::vector<std::string> RestoreBlock(const RestoreItem& item) {
  const std::string original = BatchPath(item.original);
  const std::string stored = BatchPath(item.stored);
  const std::string version = OneLine(item.version);
  const Placeholders values = {
      {"ORIG", original}, {"STORED", stored}, {"VER", version}, {"ATTRS", item.attribute_text}};
  const bool empty = item.size_text == "0";
  const bool plain = item.attribute_text == kDefaultAttributeText;
  std::vector<std::string> writes;
  writes.push_back(Fill(kHeader, values));
  for (const Shape& shape : kShapes) {
    if (shape.empty != empty || shape.plain != plain) continue;
    for (std::string_view line : shape.lines)
      if (!line.empty()) writes.push_back(Fill(line, values));
  }
  return writes;
}

}  // namespace snapshot::texts
