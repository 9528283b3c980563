// The w98 machine tool is a set of commands ("w98 init DIR", "w98 date" ...). Each command
// lives in its own file and registers itself with W98_TOOL_COMMAND.
#ifndef W98_PROGRAMS_W98_COMMAND_H
#define W98_PROGRAMS_W98_COMMAND_H

#include <string>
#include <vector>

namespace w98tool {

// Arguments after the command name, with --machine DIR already taken out (and applied).
using Args = std::vector<std::string>;
// Returns the tool's exit code.
using CommandFn = int (*)(const Args& args);

struct Command {
  const char* name;    // "init"
  const char* usage;   // "w98 init DIR  creates a blank Windows 98 machine"
  bool needs_machine;  // the command works on a selected machine
  CommandFn run;
};

// Adds a command to the tool's table; used through W98_TOOL_COMMAND.
bool RegisterCommand(const Command& command);
const std::vector<Command>& Commands();

// Prints "w98: " and the message to stderr; returns 1 (or `code`).
int Fail(const std::string& message, int code = 1);

// Folder of this program (the build's or installation's bin folder).
std::string SelfFolder();

}  // namespace w98tool

#define W98_TOOL_COMMAND_CAT2(a, b) a##b
#define W98_TOOL_COMMAND_CAT(a, b) W98_TOOL_COMMAND_CAT2(a, b)
#define W98_TOOL_COMMAND(name, usage, needs_machine, fn)          \
  static const bool W98_TOOL_COMMAND_CAT(registered_, __LINE__) = \
      ::w98tool::RegisterCommand(::w98tool::Command{name, usage, needs_machine, fn})

#endif  // W98_PROGRAMS_W98_COMMAND_H
