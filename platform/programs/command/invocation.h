// The command line of the host program `command`, as COMMAND.COM would have received it.
#ifndef COMMAND_INVOCATION_H
#define COMMAND_INVOCATION_H

#include <functional>
#include <string>
#include <vector>

namespace command {

// Joins the program's arguments (without argv[0]) back into one command line: an argument
// holding a blank or a delimiter is put in double quotes unless it already holds one. The
// one exception keeps `command /C "echo hi"` a line: a single argument after /C that holds
// blanks is taken as the line itself, unless `is_file` says it names an existing file (a
// long path of a batch file or program), which is then quoted.
std::string JoinInvocation(const std::vector<std::string>& args,
                           const std::function<bool(const std::string&)>& is_file);

}  // namespace command

#endif  // COMMAND_INVOCATION_H
