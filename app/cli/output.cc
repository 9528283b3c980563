#include "output.h"

#include <algorithm>
#include <cstdio>

namespace quillow {

Table::Table(std::vector<std::string> headings) : headings_(std::move(headings)) {}

void Table::Add(std::vector<std::string> row) {
  row.resize(headings_.size());
  rows_.push_back(std::move(row));
}

std::string Table::Render() const {
  std::vector<size_t> widths(headings_.size());
  for (size_t c = 0; c < headings_.size(); ++c) {
    widths[c] = headings_[c].size();
    for (const auto& row : rows_) widths[c] = std::max(widths[c], row[c].size());
  }
  std::string out;
  auto line = [&](const std::vector<std::string>& cells) {
    std::string text;
    for (size_t c = 0; c < cells.size(); ++c) {
      text += cells[c];
      if (c + 1 < cells.size()) text += std::string(widths[c] - cells[c].size() + 2, ' ');
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out += text + "\n";
  };
  line(headings_);
  std::vector<std::string> rule;
  for (size_t width : widths) rule.push_back(std::string(width, '-'));
  line(rule);
  for (const auto& row : rows_) line(row);
  return out;
}

void Json::Separate() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!first_.empty()) {
    if (!first_.back()) text_ += ',';
    first_.back() = false;
  }
}

Json& Json::BeginObject() {
  Separate();
  text_ += '{';
  first_.push_back(true);
  return *this;
}

Json& Json::EndObject() {
  text_ += '}';
  first_.pop_back();
  return *this;
}

Json& Json::BeginArray() {
  Separate();
  text_ += '[';
  first_.push_back(true);
  return *this;
}

Json& Json::EndArray() {
  text_ += ']';
  first_.pop_back();
  return *this;
}

Json& Json::Key(std::string_view key) {
  String(key);
  text_ += ':';
  after_key_ = true;
  return *this;
}

Json& Json::String(std::string_view value) {
  Separate();
  text_ += '"';
  for (char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        text_ += "\\\"";
        break;
      case '\\':
        text_ += "\\\\";
        break;
      case '\n':
        text_ += "\\n";
        break;
      case '\r':
        text_ += "\\r";
        break;
      case '\t':
        text_ += "\\t";
        break;
      default:
        if (byte < 0x20 || byte >= 0x80) {
          // Texts of the machine are ANSI; bytes above 0x7F are written as the Latin-1
          // characters they are, so the output stays valid UTF-8 JSON.
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
          text_ += escaped;
        } else {
          text_ += c;
        }
    }
  }
  text_ += '"';
  return *this;
}

Json& Json::Number(int64_t value) {
  Separate();
  text_ += std::to_string(value);
  return *this;
}

Json& Json::Bool(bool value) {
  Separate();
  text_ += value ? "true" : "false";
  return *this;
}

std::string PeopleDate(std::string_view stamp) {
  if (stamp.size() != 8) return std::string(stamp);
  return std::string(stamp.substr(0, 4)) + "-" + std::string(stamp.substr(4, 2)) + "-" +
         std::string(stamp.substr(6, 2));
}

std::string PeopleTime(std::string_view time) {
  if (time.size() != 6) return std::string(time);
  return std::string(time.substr(0, 2)) + ":" + std::string(time.substr(2, 2)) + ":" +
         std::string(time.substr(4, 2));
}

std::string Grouped(int64_t number) {
  std::string digits = std::to_string(number < 0 ? -number : number);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return number < 0 ? "-" + out : out;
}

}  // namespace quillow
