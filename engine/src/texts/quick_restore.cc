// The quick-restore list ("tempdosboot", copied with 'D' at index 9 and staged as
// c:\windows\temp\trestdat), read by the DOS restore program: a header, then one tab-separated
// record per kernel file. It is not a batch file, so its paths are written unchanged.
#include "texts/texts.h"

namespace snapshot::texts {
namespace {

constexpr std::string_view kRecord = "\n{VER}\t{ORIG}\t{STORED}\t{LETTERS}";
constexpr std::string_view kNoVersion = "NONE";

}  // namespace

std::string QuickRestoreRecord(std::string_view version, std::string_view original,
                               std::string_view stored, std::string_view letters) {
  const std::string text = version.empty() ? std::string(kNoVersion) : OneLine(version);
  return Fill(kRecord,
              {{"VER", text}, {"ORIG", original}, {"STORED", stored}, {"LETTERS", letters}});
}

}  // namespace snapshot::texts
