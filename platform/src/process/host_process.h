// Host processes as the machine's tables record them: a process id together with its start
// time, so that a recycled process id is never taken for the process that has ended.
#ifndef W98_SRC_PROCESS_HOST_PROCESS_H
#define W98_SRC_PROCESS_HOST_PROCESS_H

#include <sys/types.h>

#include <cstdint>

namespace w98::internal {

// Start time of a live process in clock ticks since boot, or 0 when there is no such process.
std::uint64_t ProcessStartTime(pid_t pid);
// True when `pid` runs and is the process that started at `start_time` (0: any start time).
bool ProcessIsAlive(pid_t pid, std::uint64_t start_time);
// This process's start time (read once).
std::uint64_t OwnStartTime();

}  // namespace w98::internal

#endif  // W98_SRC_PROCESS_HOST_PROCESS_H
