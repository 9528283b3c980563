// Lexical rules of MS-DOS 7 batch lines: delimiters, quoted words, argument lists and the
// expansion of %-references. Pure functions over text; no file or process access, so the
// fuzz target and the tests can drive them directly.
#ifndef COMMAND_BATCH_TEXT_H
#define COMMAND_BATCH_TEXT_H

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace command {

// Space, tab, ',', ';' and '=' separate words of a command line, as COMMAND.COM splits them.
bool IsDelimiter(char c);

// Index of the first character at or after `pos` that is not a delimiter.
size_t SkipDelimiters(std::string_view text, size_t pos);

// Reads one word starting at `pos` (delimiters before it are skipped): characters up to the
// next delimiter, where a double-quoted stretch (quotes kept) may hold delimiters. An
// unterminated quote runs to the end of the text. `stop` lists further characters that end
// the word outside quotes. On return `pos` is just after the word. Returns "" at the end.
std::string ReadWord(std::string_view text, size_t& pos, std::string_view stop = {});

// The words of `text` as ReadWord finds them, quotes kept (the %1..%9 of a batch call).
std::vector<std::string> SplitWords(std::string_view text);

// `word` with every double quote removed: a quoted long path as a file name.
std::string Unquote(std::string_view word);

// True when `word` holds '*' or '?'.
bool HasWildcards(std::string_view word);

// Case-insensitive comparison of ASCII letters (bytes of 0x80 and above compare exactly).
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string UpperCase(std::string_view text);

// Looks up an environment variable by its (already upper-cased) name; false when undefined.
using VariableLookup = std::function<bool(std::string_view name, std::string* value)>;

// Expands the %-references of a batch line: "%%" is one '%', "%0".."%9" the batch arguments
// (`args[i]`, "" when missing), "%NAME%" the variable NAME (nothing when undefined), and a '%'
// that has no closing '%' on the line is dropped, as COMMAND.COM does.
std::string ExpandPercents(std::string_view line, const std::vector<std::string>& args,
                           const VariableLookup& lookup);

// Splits the bytes of a batch file into lines: CR LF, LF or a lone CR end a line, and a
// Ctrl-Z ends the file. Lines are never cut, whatever their length.
std::vector<std::string> SplitBatchLines(std::string_view bytes);

}  // namespace command

#endif  // COMMAND_BATCH_TEXT_H
