// Helpers for tests of the machine's DOS programs and the companion programs: running a
// host program on a machine and capturing its output, and a small script language that sets
// up files before a test and checks them after it.
#ifndef COMMAND_TESTS_TEST_SUPPORT_H
#define COMMAND_TESTS_TEST_SUPPORT_H

#include <filesystem>
#include <string>
#include <vector>

namespace dostest {

struct ProgramRun {
  int exit_code = -1;  // -1 when the program could not be run or was killed
  std::string output;  // standard output and standard error, in the order written
};

// Runs the host program `program` of this build's bin folder with `args` on the machine in
// `machine` (W98_MACHINE), and waits for it.
ProgramRun RunHostProgram(const std::string& program, const std::vector<std::string>& args,
                          const std::filesystem::path& machine);

// Runs a machine script on the current machine (see the .setup and .after files of the
// golden tests). Each line is one directive; blank lines and lines starting with '#' are
// skipped. Paths are DOS paths on drive C:, quoted when they hold blanks. Texts take the
// escapes \r, \n, \t and \\.
//   file PATH ATTRS [TEXT]    setup: writes the file (folders created) with attributes
//                             ATTRS (letters of R, H, S, A, or "-" for none);
//                             check: the file holds exactly TEXT and has exactly ATTRS
//   dir PATH                  setup: creates the folder; check: the folder exists
//   stub PATH PROGRAM         setup: makes PATH a stub of the host program PROGRAM
//   time PATH YYYY-MM-DD HH:MM:SS   setup: sets the last-write time (UTC)
//   absent PATH               check: nothing has that name
//   sametime PATH PATH        check: both have the same last-write time
//   capacity BYTES            setup: drive C: holds at most BYTES more than now
// Returns the failures (empty when every directive held) with what was expected and what
// came.
std::vector<std::string> RunScript(const std::string& script, bool setup);

// The whole content of a host file ("" when missing).
std::string ReadHostFile(const std::filesystem::path& path);

}  // namespace dostest

#endif  // COMMAND_TESTS_TEST_SUPPORT_H
