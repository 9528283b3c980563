// w98: the machine tool. Creates Windows 98 machines and works on them.
//
//   w98 [--machine DIR] COMMAND [ARGS...]
//
// The machine is the folder given with --machine, else the one W98_MACHINE names.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "command.h"
#include "w98/machine.h"

namespace w98tool {

bool RegisterCommand(const Command& command) {
  const_cast<std::vector<Command>&>(Commands()).push_back(command);
  return true;
}

const std::vector<Command>& Commands() {
  static std::vector<Command> commands;
  return commands;
}

int Fail(const std::string& message, int code) {
  std::fprintf(stderr, "w98: %s\n", message.c_str());
  return code;
}

std::string SelfFolder() {
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return ".";
  self[n] = '\0';
  std::string path(self);
  return path.substr(0, path.rfind('/'));
}

}  // namespace w98tool

namespace {

int Usage() {
  std::fprintf(stderr, "usage: w98 [--machine DIR] COMMAND [ARGS...]\n\ncommands:\n");
  for (const auto& c : w98tool::Commands()) std::fprintf(stderr, "  %s\n", c.usage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string machine;
  int i = 1;
  for (; i < argc; ++i) {
    if (std::strcmp(argv[i], "--machine") == 0 && i + 1 < argc) {
      machine = argv[++i];
    } else if (std::strncmp(argv[i], "--machine=", 10) == 0) {
      machine = argv[i] + 10;
    } else {
      break;
    }
  }
  if (i >= argc) return Usage();
  const std::string name = argv[i++];
  w98tool::Args args(argv + i, argv + argc);
  for (const auto& command : w98tool::Commands()) {
    if (name != command.name) continue;
    if (command.needs_machine) {
      if (machine.empty()) {
        const char* env = std::getenv(w98::kMachineEnv);
        machine = env != nullptr ? env : "";
      }
      if (machine.empty())
        return w98tool::Fail("no machine: give --machine DIR or set W98_MACHINE");
      struct stat st {};
      if (::stat(machine.c_str(), &st) != 0)
        return w98tool::Fail("no such machine folder: " + machine);
      if (!S_ISDIR(st.st_mode)) return w98tool::Fail(machine + " is not a folder");
      if (!w98::IsMachineFolder(machine))
        return w98tool::Fail(machine + " is not a w98 machine (no machine.ini)");
      if (!w98::SelectMachine(machine)) return w98tool::Fail("cannot select " + machine);
    }
    return command.run(args);
  }
  w98tool::Fail("unknown command '" + name + "'");
  return Usage();
}
