// A profile (.INI) file held in memory line by line, so that a rewrite keeps every line it did
// not change (comments, blank lines, lines without '=') exactly as they were. Section and key
// names match case-insensitively and keep the spelling they were first written with.
// Used for profile files on the machine's drives and for machine.ini.
#ifndef W98_SRC_CORE_INI_DOCUMENT_H
#define W98_SRC_CORE_INI_DOCUMENT_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace w98::internal {

class IniDocument {
 public:
  // Reads CR LF, LF-only and CR-only line ends. Never fails: a line that is neither a section
  // header nor "key=value" is kept as it is and never matched.
  static IniDocument Parse(std::string_view bytes);

  // The file's bytes, every line ended by CR LF.
  std::string Serialize() const;

  // The value of `key` in `section`, blanks around it removed; nullopt when absent.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;

  // Section names in file order (first spelling of each).
  std::vector<std::string> Sections() const;
  // Key names of a section in file order; empty when the section is absent.
  std::vector<std::string> Keys(std::string_view section) const;
  bool HasSection(std::string_view section) const;

  // Replaces the value of an existing key in place (keeping its spelling and position), or
  // adds "key=value" after the last entry of the section, or appends the section at the end.
  void Set(std::string_view section, std::string_view key, std::string_view value);
  // Removes the key's line; false when it was absent.
  bool DeleteKey(std::string_view section, std::string_view key);
  // Removes the section header and every line up to the next section; false when absent.
  bool DeleteSection(std::string_view section);

 private:
  struct Line {
    enum class Kind { kOther, kSection, kEntry } kind = Kind::kOther;
    std::string text;   // the raw line without its line end
    std::string name;   // section or key name, trimmed
    std::string value;  // entry value, trimmed
  };
  // Index of the section header, or npos.
  size_t FindSection(std::string_view section) const;
  // One past the last line that belongs to the section starting at `header`.
  size_t SectionEnd(size_t header) const;

  std::vector<Line> lines_;
};

}  // namespace w98::internal

#endif  // W98_SRC_CORE_INI_DOCUMENT_H
