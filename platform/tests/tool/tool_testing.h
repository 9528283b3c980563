// Running the machine's programs (the w98 tool, the Date/Time applet) as a person would, and
// collecting what they print.
#ifndef W98_TESTS_TOOL_TOOL_TESTING_H
#define W98_TESTS_TOOL_TOOL_TESTING_H

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "temp_machine.h"

namespace w98::testing {

struct ProgramRun {
  int exit_code = -1;
  std::string out, err;
};

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline std::string Slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs a program of this build with `args`; `machine` (if not empty) as W98_MACHINE, else
// with W98_MACHINE unset; `input` on its standard input.
inline ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                             const std::string& machine, const std::string& input = "") {
  char dir_pattern[] = "/tmp/w98-run-XXXXXX";
  const std::filesystem::path dir = ::mkdtemp(dir_pattern);
  std::ofstream(dir / "in", std::ios::binary) << input;
  std::string command =
      machine.empty() ? "unset W98_MACHINE; " : "W98_MACHINE=" + Quote(machine) + " ";
  command += Quote((BuildBinFolder() / program).string());
  for (const std::string& a : args) command += " " + Quote(a);
  command += " <" + Quote((dir / "in").string()) + " >" + Quote((dir / "out").string()) + " 2>" +
             Quote((dir / "err").string());
  const int status = std::system(command.c_str());
  ProgramRun run;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = Slurp(dir / "out");
  run.err = Slurp(dir / "err");
  std::filesystem::remove_all(dir);
  return run;
}

}  // namespace w98::testing

#endif  // W98_TESTS_TOOL_TOOL_TESTING_H
