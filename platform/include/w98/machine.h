// w98 extension (not Win32): which machine a process works on, and how its programs are found.
//
// A machine is a folder (see the project's design notes) holding machine.ini, the drive folders
// c/, a/, d/ and the run/ folder of the running machine. Every program of a machine finds it
// through the environment variable W98_MACHINE, which the w98 tool and CreateProcessA set.
#ifndef W98_MACHINE_H
#define W98_MACHINE_H

#include <string>

namespace w98 {

struct MachineOptions {
  std::string host_bin;  // folder of the host programs that the stubs name
};

// Creates a blank Windows 98 machine in `folder` (missing or empty): machine.ini, the drive
// folders, drive C: with its start-up files, the Windows folder and its registry hives, and the
// stubs of the machine's own programs. Returns false (with a reason in *error) on failure.
bool CreateMachine(const std::string& folder, const MachineOptions& options,
                   std::string* error = nullptr);

// Environment variable that names the machine folder of a program.
inline constexpr const char* kMachineEnv = "W98_MACHINE";

// Makes `folder` the machine of this process (and of the programs it starts) and drops every
// cache that belongs to the previous machine. Returns false, changing nothing, when the folder
// is not a machine (no machine.ini). Call it before other threads use w98.
bool SelectMachine(const std::string& folder);

// The folder of the current machine, or "" when W98_MACHINE names none.
std::string MachineFolder();

// True when `folder` holds a w98 machine.
bool IsMachineFolder(const std::string& folder);

// Host path of a DOS path of the current machine (the file need not exist; its folder
// must), or "" when the path cannot be resolved or would leave the machine folder.
std::string HostPathOf(const std::string& dosPath);

// Folder of the host programs that the machine's stubs name ([host] bin= in machine.ini).
std::string HostProgramFolder();

// Writes the stub of a program of the machine: the DOS file `dosPath` (for example
// "C:\WINDOWS\REGEDIT.EXE") that makes the host program `hostProgram` (a name in the host
// program folder, or an absolute host path) a program of the machine. Returns false on failure.
bool WriteProgramStub(const std::string& dosPath, const std::string& hostProgram);

// The host program that the stub at `dosPath` names, or "" when the file is not a stub.
std::string ReadProgramStub(const std::string& dosPath);

}  // namespace w98

#endif  // W98_MACHINE_H
