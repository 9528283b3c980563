// The per-file restore block: a header naming the file, then the lines that put it back.
//
// A save's block depends on whether the file is empty (recreated with "rem >", never copied)
// and on whether it has attributes beyond archive (cleared before and set again after). The
// block of a single-file session always unprotects the stored copy before it is read and
// protects it again afterwards, since no ATTRIB line over the whole copy folder surrounds it.
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
constexpr std::string_view kUnprotectStored =
    "c:\\windows\\command\\ATTRIB +A -R -S -H \"{STORED}\"\n";
constexpr std::string_view kProtectStored =
    "c:\\windows\\command\\ATTRIB -A +R -S +H \"{STORED}\"\n";

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

// A single-file session's lines after the header, for a file with content and an empty one
// (whose recreated file gets no ATTRIB line of its own).
constexpr std::string_view kSessionLines[] = {kUnprotect, kUnprotectStored, kCopy, kSetAttributes,
                                              kProtectStored};
constexpr std::string_view kSessionEmptyLines[] = {kUnprotect, kUnprotectStored, kRecreateEmpty,
                                                   kProtectStored};

// The header and `lines` filled with the item's values. Paths have their "%" doubled; the
// version and attribute texts come from the catalogue and are kept on one line.
template <typename Lines>
std::vector<std::string> Block(const RestoreItem& item, const Lines& lines) {
  const std::string original = BatchPath(OneLine(item.original));
  const std::string stored = BatchPath(OneLine(item.stored));
  const std::string version = OneLine(item.version);
  const std::string attributes = OneLine(item.attribute_text);
  const Placeholders values = {
      {"ORIG", original}, {"STORED", stored}, {"VER", version}, {"ATTRS", attributes}};
  std::vector<std::string> writes;
  writes.push_back(Fill(kHeader, values));
  for (std::string_view line : lines)
    if (!line.empty()) writes.push_back(Fill(line, values));
  return writes;
}

}  // namespace

std::vector<std::string> RestoreBlock(const RestoreItem& item) {
  const bool empty = item.size_text == "0";
  const bool plain = item.attribute_text == kDefaultAttributeText;
  for (const Shape& shape : kShapes)
    if (shape.empty == empty && shape.plain == plain) return Block(item, shape.lines);
  return {};  // every combination has its row
}

std::vector<std::string> SessionRestoreBlock(const RestoreItem& item) {
  if (item.size_text == "0") return Block(item, kSessionEmptyLines);
  return Block(item, kSessionLines);
}

}  // namespace snapshot::texts
