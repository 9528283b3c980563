#include "core/ini_document.h"

#include "core/text.h"

namespace w98::internal {
namespace {

constexpr size_t npos = static_cast<size_t>(-1);

}  // namespace

IniDocument IniDocument::Parse(std::string_view bytes) {
  IniDocument doc;
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t end = pos;
    while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    Line line;
    line.text.assign(bytes.substr(pos, end - pos));
    const std::string_view t = Trim(line.text);
    if (!t.empty() && t.front() == '[') {
      const size_t close = t.find(']');
      if (close != std::string_view::npos) {
        line.kind = Line::Kind::kSection;
        line.name.assign(Trim(t.substr(1, close - 1)));
      }
    } else if (!t.empty() && t.front() != ';') {
      const size_t eq = t.find('=');
      if (eq != std::string_view::npos) {
        line.kind = Line::Kind::kEntry;
        line.name.assign(Trim(t.substr(0, eq)));
        line.value.assign(Trim(t.substr(eq + 1)));
      }
    }
    doc.lines_.push_back(std::move(line));
    if (end < bytes.size() && bytes[end] == '\r') ++end;
    if (end < bytes.size() && bytes[end] == '\n') ++end;
    pos = end;
  }
  return doc;
}

std::string IniDocument::Serialize() const {
  std::string out;
  for (const Line& line : lines_) {
    out += line.text;
    out += "\r\n";
  }
  return out;
}

size_t IniDocument::FindSection(std::string_view section) const {
  for (size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].kind == Line::Kind::kSection && EqualsNoCase(lines_[i].name, Trim(section)))
      return i;
  return npos;
}

size_t IniDocument::SectionEnd(size_t header) const {
  size_t i = header + 1;
  while (i < lines_.size() && lines_[i].kind != Line::Kind::kSection) ++i;
  return i;
}

bool IniDocument::HasSection(std::string_view section) const {
  return FindSection(section) != npos;
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const {
  const size_t header = FindSection(section);
  if (header == npos) return std::nullopt;
  const size_t end = SectionEnd(header);
  for (size_t i = header + 1; i < end; ++i)
    if (lines_[i].kind == Line::Kind::kEntry && EqualsNoCase(lines_[i].name, Trim(key)))
      return lines_[i].value;
  return std::nullopt;
}

std::vector<std::string> IniDocument::Sections() const {
  std::vector<std::string> out;
  for (const Line& line : lines_) {
    if (line.kind != Line::Kind::kSection) continue;
    bool seen = false;
    for (const std::string& s : out) seen = seen || EqualsNoCase(s, line.name);
    if (!seen) out.push_back(line.name);
  }
  return out;
}

std::vector<std::string> IniDocument::Keys(std::string_view section) const {
  std::vector<std::string> out;
  const size_t header = FindSection(section);
  if (header == npos) return out;
  const size_t end = SectionEnd(header);
  for (size_t i = header + 1; i < end; ++i)
    if (lines_[i].kind == Line::Kind::kEntry) out.push_back(lines_[i].name);
  return out;
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  const std::string_view k = Trim(key);
  size_t header = FindSection(section);
  if (header == npos) {
    Line head;
    head.kind = Line::Kind::kSection;
    head.name.assign(Trim(section));
    head.text = "[" + head.name + "]";
    lines_.push_back(std::move(head));
    header = lines_.size() - 1;
  }
  const size_t end = SectionEnd(header);
  size_t insert_at = header + 1;
  for (size_t i = header + 1; i < end; ++i) {
    Line& line = lines_[i];
    if (line.kind == Line::Kind::kEntry && EqualsNoCase(line.name, k)) {
      line.value.assign(Trim(value));
      line.text = line.name + "=" + std::string(value);
      return;
    }
    if (!Trim(line.text).empty()) insert_at = i + 1;
  }
  Line entry;
  entry.kind = Line::Kind::kEntry;
  entry.name.assign(k);
  entry.value.assign(Trim(value));
  entry.text = entry.name + "=" + std::string(value);
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert_at), std::move(entry));
}

bool IniDocument::DeleteKey(std::string_view section, std::string_view key) {
  const size_t header = FindSection(section);
  if (header == npos) return false;
  const size_t end = SectionEnd(header);
  for (size_t i = header + 1; i < end; ++i) {
    if (lines_[i].kind == Line::Kind::kEntry && EqualsNoCase(lines_[i].name, Trim(key))) {
      lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
      return true;
    }
  }
  return false;
}

bool IniDocument::DeleteSection(std::string_view section) {
  const size_t header = FindSection(section);
  if (header == npos) return false;
  const size_t end = SectionEnd(header);
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(header),
               lines_.begin() + static_cast<std::ptrdiff_t>(end));
  return true;
}

}  // namespace w98::internal
