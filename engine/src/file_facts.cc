#include "file_facts.h"

#include <string>

namespace snapshot {
namespace {

// Appends `value` in `base` with at least `width` digits (zeros in front), as printf's "%0*d"
// or "%0*X" would. These texts are made several times for every file a save stores, where
// printf's formatting machinery cost more than the rest of the text work.
void AppendDigits(std::string& out, unsigned long value, int width, unsigned base = 10) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  char digits[24];
  int n = 0;
  do {
    digits[n++] = kDigits[value % base];
    value /= base;
  } while (value != 0);
  while (n < width) digits[n++] = '0';
  while (n > 0) out += digits[--n];
}

}  // namespace

std::string FileKey(std::string_view name, std::string_view folder, std::string_view size_text,
                    std::string_view date_text, std::string_view time_text) {
  std::string key(name);
  key += '|';
  for (char c : folder) {
    if (c == '\\')
      key += "//";
    else
      key += c;
  }
  key += '|';
  key += size_text;
  key += '|';
  key += date_text;
  key += '|';
  key += time_text;
  return key;
}

std::string AliasName(unsigned long sequence, int year, int month) {
  // "%08lX.%02d%01x": the month as one lower-case hex digit.
  std::string alias;
  alias.reserve(12);
  AppendDigits(alias, sequence, 8, 16);
  alias += '.';
  AppendDigits(alias, static_cast<unsigned long>(year % 100), 2);
  alias += "0123456789abcdef"[static_cast<unsigned>(month) & 0xF];
  return alias;
}

std::string AttributeText(DWORD attributes) {
  std::string text;
  text += (attributes & FILE_ATTRIBUTE_ARCHIVE) ? " +A " : " -A ";
  text += (attributes & FILE_ATTRIBUTE_SYSTEM) ? " +S " : " -S ";
  text += (attributes & FILE_ATTRIBUTE_HIDDEN) ? " +H " : " -H ";
  text += (attributes & FILE_ATTRIBUTE_READONLY) ? " +R " : " -R ";
  return text;
}

std::string AttributeLetters(DWORD attributes) {
  std::string letters;
  if (attributes & FILE_ATTRIBUTE_SYSTEM) letters += 'S';
  if (attributes & FILE_ATTRIBUTE_HIDDEN) letters += 'H';
  if (attributes & FILE_ATTRIBUTE_READONLY) letters += 'R';
  return letters;
}

bool PassesEightDotThree(std::string_view name) {
  std::string_view first;
  std::string_view rest;
  const size_t dot = name.find('.');
  if (dot == std::string_view::npos) {
    rest = name.empty() ? name : name.substr(1);
  } else {
    first = name.substr(0, dot);
    rest = name.substr(dot + 1);
  }
  return first.size() <= 8 && rest.size() <= 3 && first.find(' ') == std::string_view::npos &&
         rest.find(' ') == std::string_view::npos;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

bool IsKernelFile(std::string_view name) {
  return PassesEightDotThree(name) && !EqualsNoCase(name, "AUTOEXEC.BAT");
}

std::string DateText(const SYSTEMTIME& time) {
  std::string text;
  AppendDigits(text, time.wYear, 4);
  AppendDigits(text, time.wMonth, 2);
  AppendDigits(text, time.wDay, 2);
  return text;
}

std::string TimeText(const SYSTEMTIME& time) {
  std::string text;
  AppendDigits(text, time.wHour, 2);
  AppendDigits(text, time.wMinute, 2);
  AppendDigits(text, time.wSecond, 2);
  return text;
}

FileFacts DeriveFileFacts(const WIN32_FIND_DATAA& found, std::string_view folder) {
  FileFacts facts;
  facts.name = found.cFileName;
  facts.folder = std::string(folder);
  facts.path = facts.folder + facts.name;
  facts.size_text = std::to_string(static_cast<int>(found.nFileSizeLow));
  FILETIME local{};
  SYSTEMTIME when{};
  if (FileTimeToLocalFileTime(&found.ftLastWriteTime, &local) &&
      FileTimeToSystemTime(&local, &when)) {
    facts.date_text = DateText(when);
    facts.time_text = TimeText(when);
    facts.year = when.wYear;
    facts.month = when.wMonth;
  }
  facts.attribute_text = AttributeText(found.dwFileAttributes);
  facts.attribute_letters = AttributeLetters(found.dwFileAttributes);
  facts.key = FileKey(facts.name, facts.folder, facts.size_text, facts.date_text, facts.time_text);
  facts.kernel = IsKernelFile(facts.name);
  return facts;
}

std::string PatternFolder(std::string_view pattern) {
  const std::string text(pattern);
  char full[MAX_PATH * 2];
  LPSTR file_part = nullptr;
  const DWORD n = GetFullPathNameA(text.c_str(), sizeof full, full, &file_part);
  std::string absolute = (n > 0 && n < sizeof full) ? std::string(full, n) : text;
  const size_t slash = absolute.find_last_of('\\');
  return slash == std::string::npos ? std::string() : absolute.substr(0, slash + 1);
}

}  // namespace snapshot
