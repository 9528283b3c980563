// The quillow command line: a front end to the engine for people and scripts. Each command
// lives in its own file and registers itself with QUILLOW_COMMAND.
#ifndef QUILLOW_APP_CLI_CLI_H
#define QUILLOW_APP_CLI_CLI_H

#include <string>
#include <vector>

namespace quillow {

// The store folder of an installation, as the main program passes it to the engine.
inline constexpr char kStoreFolder[] = "c:\\windows\\zemo\\snapshot\\";

// What a command receives: its arguments (global options taken out) and the output form.
struct Invocation {
  std::vector<std::string> args;
  bool json = false;
};

// Returns the program's exit code: 0 on success.
using CommandFn = int (*)(const Invocation& invocation);

struct Command {
  const char* name;   // "list"
  const char* usage;  // "quillow list    the snapshots, oldest first"
  CommandFn run;
};

bool RegisterCommand(const Command& command);
const std::vector<Command>& Commands();

// Prints "quillow: " and the message to stderr and returns `code`.
int Fail(const std::string& message, int code = 1);

// Takes "--name VALUE" out of args; false when absent. A missing value is an error (returns
// true with *error set).
bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string* value,
                std::string* error);
// Takes "--name" (a switch without a value) out of args; true when it was there.
bool TakeFlag(std::vector<std::string>& args, const std::string& name);

}  // namespace quillow

#define QUILLOW_COMMAND_CAT2(a, b) a##b
#define QUILLOW_COMMAND_CAT(a, b) QUILLOW_COMMAND_CAT2(a, b)
#define QUILLOW_COMMAND(name, usage, fn)                         \
  static const bool QUILLOW_COMMAND_CAT(registered_, __LINE__) = \
      ::quillow::RegisterCommand(::quillow::Command{name, usage, fn})

#endif  // QUILLOW_APP_CLI_CLI_H
