// Windows command lines: how a program's name is taken from one, how the C runtime splits the
// rest into arguments, and how arguments are quoted back into one line.
#ifndef W98_SRC_PROCESS_COMMAND_LINE_H
#define W98_SRC_PROCESS_COMMAND_LINE_H

#include <string>
#include <string_view>
#include <vector>

namespace w98::internal {

// The arguments of a command line as the Microsoft C runtime splits them: blanks (space, tab)
// separate, double quotes group, 2n backslashes before a quote give n backslashes and the quote
// toggles grouping, 2n+1 give n backslashes and a literal quote, other backslashes are kept.
std::vector<std::string> SplitCommandLine(std::string_view line);

// One argument quoted so that SplitCommandLine gives it back unchanged.
std::string QuoteArgument(std::string_view argument);

// The first token of a command line: up to the closing quote when it starts with one (quotes
// removed), else up to the first blank. `rest` receives what follows, without leading blanks.
std::string FirstToken(std::string_view line, std::string* rest);

// The candidate program names of an unquoted command line whose name may contain blanks, in
// the order CreateProcessA tries them: "c:\program files\app x" gives "c:\program",
// "c:\program files\app", "c:\program files\app x", each with the rest of the line.
std::vector<std::pair<std::string, std::string>> ProgramNameCandidates(std::string_view line);

}  // namespace w98::internal

#endif  // W98_SRC_PROCESS_COMMAND_LINE_H
