// The command line of a DOS program of the machine, as the program itself should see it.
#ifndef COMMAND_PROGRAM_ARGS_H
#define COMMAND_PROGRAM_ARGS_H

#include <string>
#include <vector>

namespace dos {

// The text after the program's name on its command line. Started as a program of the
// machine (through its stub), that is the Windows command line exactly as the starting
// program wrote it (GetCommandLineA), quotes and doubled blanks included. Started directly
// on the host, it is `host_args` (argv without argv[0]) joined back as JoinInvocation does.
std::string CommandTail(const std::vector<std::string>& host_args);

}  // namespace dos

#endif  // COMMAND_PROGRAM_ARGS_H
