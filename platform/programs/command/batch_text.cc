#include "batch_text.h"

namespace command {

bool IsDelimiter(char c) {
  return c == ' ' || c == '\t' || c == ',' || c == ';' || c == '=';
}

size_t SkipDelimiters(std::string_view text, size_t pos) {
  while (pos < text.size() && IsDelimiter(text[pos])) ++pos;
  return pos;
}

std::string ReadWord(std::string_view text, size_t& pos, std::string_view stop) {
  pos = SkipDelimiters(text, pos);
  std::string word;
  bool quoted = false;
  while (pos < text.size()) {
    const char c = text[pos];
    if (!quoted && (IsDelimiter(c) || stop.find(c) != std::string_view::npos)) break;
    if (c == '"') quoted = !quoted;
    word += c;
    ++pos;
  }
  return word;
}

std::vector<std::string> SplitWords(std::string_view text) {
  std::vector<std::string> words;
  size_t pos = 0;
  for (;;) {
    std::string word = ReadWord(text, pos);
    if (word.empty()) break;
    words.push_back(std::move(word));
  }
  return words;
}

std::string Unquote(std::string_view word) {
  std::string out;
  out.reserve(word.size());
  for (char c : word)
    if (c != '"') out += c;
  return out;
}

bool HasWildcards(std::string_view word) {
  return word.find_first_of("*?") != std::string_view::npos;
}

namespace {
char Fold(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}
}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Fold(c);
  return out;
}

std::string ExpandPercents(std::string_view line, const std::vector<std::string>& args,
                           const VariableLookup& lookup) {
  std::string out;
  out.reserve(line.size());
  size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (c != '%') {
      out += c;
      ++i;
      continue;
    }
    if (i + 1 >= line.size()) break;  // a lone '%' at the end is dropped
    const char next = line[i + 1];
    if (next == '%') {
      out += '%';
      i += 2;
      continue;
    }
    if (next >= '0' && next <= '9') {
      const size_t index = static_cast<size_t>(next - '0');
      if (index < args.size()) out += args[index];
      i += 2;
      continue;
    }
    const size_t close = line.find('%', i + 1);
    if (close == std::string_view::npos) {
      ++i;  // no closing '%': the '%' is dropped, the text after it stays
      continue;
    }
    std::string value;
    if (lookup && lookup(UpperCase(line.substr(i + 1, close - i - 1)), &value)) out += value;
    i = close + 1;
  }
  return out;
}

std::vector<std::string> SplitBatchLines(std::string_view bytes) {
  std::vector<std::string> lines;
  std::string current;
  bool pending = false;  // text (or an empty line) has started since the last line end
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\x1a') break;
    if (c == '\r' || c == '\n') {
      lines.push_back(std::move(current));
      current.clear();
      pending = false;
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
      continue;
    }
    current += c;
    pending = true;
  }
  if (pending) lines.push_back(std::move(current));
  return lines;
}

}  // namespace command
