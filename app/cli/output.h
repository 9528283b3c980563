// Output of the commands: aligned tables for people, JSON for scripts, and dates and times
// written for people.
#ifndef QUILLOW_APP_CLI_OUTPUT_H
#define QUILLOW_APP_CLI_OUTPUT_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillow {

// A table printed with its columns aligned; the last column is not padded.
class Table {
 public:
  explicit Table(std::vector<std::string> headings);
  void Add(std::vector<std::string> row);
  bool empty() const { return rows_.empty(); }
  std::string Render() const;

 private:
  std::vector<std::string> headings_;
  std::vector<std::vector<std::string>> rows_;
};

// A JSON text built value by value: objects and arrays nest, commas are placed for the caller.
class Json {
 public:
  Json& BeginObject();
  Json& EndObject();
  Json& BeginArray();
  Json& EndArray();
  Json& Key(std::string_view key);
  Json& String(std::string_view value);
  Json& Number(int64_t value);
  Json& Bool(bool value);
  // Key and value in one call.
  Json& Field(std::string_view key, std::string_view value) { return Key(key).String(value); }
  Json& Field(std::string_view key, const char* value) { return Key(key).String(value); }
  Json& Field(std::string_view key, int64_t value) { return Key(key).Number(value); }
  Json& Field(std::string_view key, int value) { return Key(key).Number(value); }
  Json& Field(std::string_view key, bool value) { return Key(key).Bool(value); }
  const std::string& text() const { return text_; }

 private:
  void Separate();
  std::string text_;
  std::vector<bool> first_;  // per open container: nothing written in it yet
  bool after_key_ = false;
};

// "yyyymmdd" as "yyyy-mm-dd"; other texts unchanged.
std::string PeopleDate(std::string_view stamp);
// "hhmmss" as "hh:mm:ss"; other texts unchanged.
std::string PeopleTime(std::string_view time);
// A byte count as "1,234,567".
std::string Grouped(int64_t number);

}  // namespace quillow

#endif  // QUILLOW_APP_CLI_OUTPUT_H
