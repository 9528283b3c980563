#include "fs/short_names.h"

#include <string>
#include <unordered_map>
#include <unordered_set>

#include "core/text.h"

namespace w98::internal {
namespace {

bool IsShortNameChar(unsigned char c) {
  if (c >= 0x80) return true;  // characters of the OEM code page
  if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '!':
    case '#':
    case '$':
    case '%':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '-':
    case '@':
    case '^':
    case '_':
    case '`':
    case '{':
    case '}':
    case '~':
      return true;
    default:
      return false;
  }
}

// The short name a long name maps to before any numeric tail, and whether making it lost
// something (so that a tail is needed to tell it from the long name).
struct Basis {
  std::string stem;
  std::string ext;
  bool lossy = false;
};

void AppendConverted(std::string_view part, std::string& out, bool& lossy) {
  for (char ch : part) {
    const char c = FoldCase(ch);
    if (c == ' ' || c == '.') {
      lossy = true;  // spaces and extra dots are dropped
      continue;
    }
    if (IsShortNameChar(static_cast<unsigned char>(c))) {
      out += c;
    } else {
      out += '_';
      lossy = true;
    }
  }
}

Basis MakeBasis(std::string_view name) {
  Basis b;
  size_t start = 0;
  while (start < name.size() && name[start] == '.') ++start;
  if (start > 0) b.lossy = true;
  std::string_view rest = name.substr(start);
  const size_t dot = rest.rfind('.');
  std::string_view stem = dot == std::string_view::npos ? rest : rest.substr(0, dot);
  std::string_view ext = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
  AppendConverted(stem, b.stem, b.lossy);
  AppendConverted(ext, b.ext, b.lossy);
  if (b.stem.size() > 8) {
    b.stem.resize(8);
    b.lossy = true;
  }
  if (b.ext.size() > 3) {
    b.ext.resize(3);
    b.lossy = true;
  }
  if (b.stem.empty()) {
    // Nothing usable before the extension: the extension's characters become the stem.
    b.stem = b.ext.empty() ? std::string("_") : b.ext;
    b.ext.clear();
    b.lossy = true;
  }
  return b;
}

std::string Join(const std::string& stem, const std::string& ext) {
  return ext.empty() ? stem : stem + "." + ext;
}

// STEM~N with the stem cut so that the whole stays within 8 characters.
std::string WithTail(const Basis& b, unsigned number) {
  const std::string tail = "~" + std::to_string(number);
  const size_t keep = tail.size() >= 8 ? 0 : 8 - tail.size();
  std::string stem = b.stem.substr(0, keep);
  return Join(stem + tail, b.ext);
}

}  // namespace

bool IsShortName(std::string_view name) {
  const size_t dot = name.find('.');
  const std::string_view stem = name.substr(0, dot);
  const std::string_view ext =
      dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
  if (stem.empty() || stem.size() > 8 || ext.size() > 3) return false;
  if (dot != std::string_view::npos && ext.empty()) return false;
  for (std::string_view part : {stem, ext})
    for (char c : part)
      if (!IsShortNameChar(static_cast<unsigned char>(c))) return false;
  return true;
}

std::string LosslessShortName(std::string_view name) {
  const Basis b = MakeBasis(name);
  return b.lossy ? std::string() : Join(b.stem, b.ext);
}

std::vector<std::string> AssignShortNames(const std::vector<std::string>& names) {
  std::vector<std::string> aliases(names.size());
  std::vector<Basis> bases(names.size());
  std::unordered_set<std::string> taken;
  taken.reserve(names.size() * 2);
  std::vector<size_t> need_tail;
  // Names that fit 8.3 unchanged (upper case aside) keep that form and claim it first.
  for (size_t i = 0; i < names.size(); ++i) {
    bases[i] = MakeBasis(names[i]);
    const std::string plain = Join(bases[i].stem, bases[i].ext);
    if (!bases[i].lossy && taken.insert(plain).second) {
      if (plain != names[i]) aliases[i] = plain;
    } else {
      need_tail.push_back(i);
    }
  }
  // Numbers are tried from 1 for each stem and extension; remembering where the search for a
  // basis stopped keeps a folder of thousands of similar names linear.
  std::unordered_map<std::string, unsigned> next_number;
  for (size_t i : need_tail) {
    const std::string key = Join(bases[i].stem.substr(0, 6), bases[i].ext);
    unsigned& number = next_number.try_emplace(key, 1).first->second;
    std::string candidate = WithTail(bases[i], number);
    while (!taken.insert(candidate).second) candidate = WithTail(bases[i], ++number);
    ++number;
    aliases[i] = candidate;
  }
  return aliases;
}

}  // namespace w98::internal
