// What the store records about one file: its key, the alias of its stored copy, its attribute
// text and letters, its date and time texts, and whether the boot phase restores it.
#ifndef SNAPSHOT_SRC_FILE_FACTS_H
#define SNAPSHOT_SRC_FILE_FACTS_H

#include <string>
#include <string_view>

#include <w98/windows.h>

namespace snapshot {

// The file key: name|folder|size|date|time, the folder's backslashes written as "//" (a
// registry key name cannot hold a backslash). Two files are the same version exactly when their
// keys are equal.
std::string FileKey(std::string_view name, std::string_view folder, std::string_view size_text,
                    std::string_view date_text, std::string_view time_text);

// The 8.3 name of a stored copy: "%08lX.%02d%01x" of the sequence number, the last-write year
// modulo 100 and the last-write month ("0000001A.98b" for number 26, November 1998).
std::string AliasName(unsigned long sequence, int year, int month);

// Sixteen characters, archive, system, hidden, read-only: " +A  -S  -H  -R ".
std::string AttributeText(DWORD attributes);
// The letters of the set attributes among system, hidden and read-only: "S", "H", "R" in that
// order; empty when none is set.
std::string AttributeLetters(DWORD attributes);
// The text of a file with only the archive attribute, which needs no ATTRIB line on restore.
inline constexpr std::string_view kDefaultAttributeText = " +A  -S  -H  -R ";

// The 8.3 test: split at the first "."; at most 8 characters before it and 3 after it, no space
// in either. A name without "." counts as an empty first part followed by the name less its
// first character, so it passes only with at most 4 characters.
bool PassesEightDotThree(std::string_view name);
// A kernel file is restored by the boot-phase batch: it passes the 8.3 test and is not
// AUTOEXEC.BAT, which runs during the boot phase.
bool IsKernelFile(std::string_view name);

bool EqualsNoCase(std::string_view a, std::string_view b);

// "%04d%02d%02d" and "%02d%02d%02d" of a local time.
std::string DateText(const SYSTEMTIME& time);
std::string TimeText(const SYSTEMTIME& time);

// Everything derived from one directory entry found by a pattern.
struct FileFacts {
  std::string name;       // as the listing gave it
  std::string folder;     // the pattern's folder made absolute, ending with a backslash
  std::string path;       // folder + name
  std::string size_text;  // low 32 bits of the size, "%d"
  std::string date_text;  // last-write date, local time; empty when the time cannot be read
  std::string time_text;
  int year = 0;  // last-write year and month, for the alias
  int month = 0;
  std::string attribute_text;
  std::string attribute_letters;
  std::string key;
  bool kernel = false;
};

// Derives the facts of a found file in `folder`.
FileFacts DeriveFileFacts(const WIN32_FIND_DATAA& found, std::string_view folder);

// The folder part (up to and including the last backslash) of a pattern made absolute.
std::string PatternFolder(std::string_view pattern);

}  // namespace snapshot

#endif  // SNAPSHOT_SRC_FILE_FACTS_H
