// quillow: the command line of the snapshot engine.
//
//   quillow [--machine DIR] [--json] COMMAND [ARGS...]
//
// The machine is the one --machine names, else W98_MACHINE.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <w98/w98.h>

#include "cli.h"

namespace quillow {
namespace {

std::vector<Command>& Table() {
  static std::vector<Command> table;
  return table;
}

int Usage(int code) {
  std::FILE* out = code == 0 ? stdout : stderr;
  std::fprintf(out, "usage: quillow [--machine DIR] [--json] COMMAND [ARGS...]\n\ncommands:\n");
  for (const Command& command : Commands()) std::fprintf(out, "  %s\n", command.usage);
  std::fprintf(out,
               "\n--machine DIR  the w98 machine to work on (default: $W98_MACHINE)\n"
               "--json         machine-readable output\n");
  return code;
}

}  // namespace

bool RegisterCommand(const Command& command) {
  Table().push_back(command);
  return true;
}

const std::vector<Command>& Commands() {
  return Table();
}

int Fail(const std::string& message, int code) {
  std::fprintf(stderr, "quillow: %s\n", message.c_str());
  return code;
}

bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string* value,
                std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == name) {
      if (i + 1 >= args.size()) {
        *error = name + " needs a value";
        return true;
      }
      *value = args[i + 1];
      args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
      return true;
    }
    if (args[i].rfind(name + "=", 0) == 0) {
      *value = args[i].substr(name.size() + 1);
      args.erase(args.begin() + static_cast<long>(i));
      return true;
    }
  }
  return false;
}

bool TakeFlag(std::vector<std::string>& args, const std::string& name) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] != name) continue;
    args.erase(args.begin() + static_cast<long>(i));
    return true;
  }
  return false;
}

}  // namespace quillow

int main(int argc, char** argv) {
  using namespace quillow;
  std::vector<std::string> args(argv + 1, argv + argc);
  Invocation invocation;
  std::string machine;
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--json") {
      invocation.json = true;
    } else if (args[i] == "--machine") {
      if (i + 1 >= args.size()) return Fail("--machine needs a folder", 2);
      machine = args[++i];
    } else if (args[i].rfind("--machine=", 0) == 0) {
      machine = args[i].substr(10);
    } else if (args[i] == "--help" || args[i] == "-h") {
      return Usage(0);
    } else {
      rest.push_back(args[i]);
    }
  }
  if (rest.empty()) return Usage(2);
  const std::string name = rest.front();
  rest.erase(rest.begin());
  invocation.args = rest;

  const Command* command = nullptr;
  for (const Command& candidate : Commands())
    if (name == candidate.name) command = &candidate;
  if (command == nullptr) {
    Fail("unknown command \"" + name + "\"");
    return Usage(2);
  }

  if (machine.empty()) {
    const char* env = std::getenv(w98::kMachineEnv);
    machine = env != nullptr ? env : "";
  }
  if (machine.empty()) return Fail("no machine: give --machine DIR or set W98_MACHINE", 2);
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(machine, ec);
  if (!ec) machine = absolute.lexically_normal().string();
  if (!w98::IsMachineFolder(machine))
    return Fail(machine + " is not a w98 machine (no machine.ini)", 2);
  if (!w98::SelectMachine(machine)) return Fail("cannot select the machine " + machine, 2);
  return command->run(invocation);
}
