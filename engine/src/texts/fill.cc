// Filling the placeholders of a text template.
#include "texts/texts.h"

namespace snapshot::texts {

std::string Fill(std::string_view pattern, Placeholders values) {
  std::string out;
  out.reserve(pattern.size() + 64);
  size_t i = 0;
  while (i < pattern.size()) {
    if (pattern[i] == '{') {
      const size_t close = pattern.find('}', i);
      if (close != std::string_view::npos) {
        const std::string_view name = pattern.substr(i + 1, close - i - 1);
        bool replaced = false;
        for (const auto& [key, value] : values) {
          if (key == name) {
            out += value;
            replaced = true;
            break;
          }
        }
        if (replaced) {
          i = close + 1;
          continue;
        }
      }
    }
    out += pattern[i++];
  }
  return out;
}

std::string BatchPath(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  for (char c : path) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

std::string OneLine(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  return out;
}

}  // namespace snapshot::texts
