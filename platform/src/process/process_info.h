// What a process of the machine was given when it was started (see <w98/session.h>).
#ifndef W98_SRC_PROCESS_PROCESS_INFO_H
#define W98_SRC_PROCESS_PROCESS_INFO_H

#include <string>

namespace w98::internal {

// The value of a variable that the starting program set for this process, or "" when the
// variable is missing or was meant for another process (W98_PARENT_PID is not our parent).
// Safe during static initialisation.
std::string InheritedVariable(const char* name);

// This program's DOS path (from W98_PROGRAM), or "" when it was not started as a program of
// the machine.
std::string OwnProgramDosPath();

}  // namespace w98::internal

#endif  // W98_SRC_PROCESS_PROCESS_INFO_H
