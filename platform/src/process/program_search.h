// Finding a program of the machine: the stub file on a drive that names the host program.
#ifndef W98_SRC_PROCESS_PROGRAM_SEARCH_H
#define W98_SRC_PROCESS_PROGRAM_SEARCH_H

#include <string>

#include "w98/windef.h"

namespace w98::internal {

struct ProgramImage {
  std::string dos_path;      // the file found, "C:\WINDOWS\REGEDIT.EXE"
  std::string host_program;  // the host program its stub names (absolute path); "" for a batch
  bool batch = false;        // a .BAT file, run through the command interpreter
};

// Finds `name` as Windows would: a name with a folder is taken as it is (relative to the
// current folder); a bare name is searched in the calling program's folder, the current
// folder, the system folder, the Windows folder and C:\WINDOWS\COMMAND. A name without an
// extension is tried with .EXE, .COM and .BAT. ERROR_FILE_NOT_FOUND when nothing is found,
// ERROR_BAD_EXE_FORMAT when the file found is not a program stub (or names a missing host
// program).
DWORD FindProgram(const std::string& name, ProgramImage* image);

// The stub of the machine's command interpreter (C:\COMMAND.COM, else in the Windows folder).
DWORD FindCommandInterpreter(ProgramImage* image);

}  // namespace w98::internal

#endif  // W98_SRC_PROCESS_PROGRAM_SEARCH_H
