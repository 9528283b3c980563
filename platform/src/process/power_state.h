// Whether a machine is off, starting or on, kept in run/power, and the lock that lets only one
// boot or restart of a machine run at a time (run/boot.lock).
//
// run/power holds one line: "off", "on", or "starting PID START" while the boot of process PID
// (started at START, see host_process.h) runs. A missing file reads as off: a machine that was
// created and never started.
#ifndef W98_SRC_PROCESS_POWER_STATE_H
#define W98_SRC_PROCESS_POWER_STATE_H

namespace w98::internal {

enum class PowerState { kOff, kStarting, kOn };

// The state recorded for the current machine. A boot whose process has died reads as off
// (it never finished). kOff when there is no machine.
PowerState RecordedPowerState();

// Records the state of the current machine (kStarting names this process). Written
// atomically: a reader sees the old or the new state. False when it cannot be written.
bool RecordPowerState(PowerState state);

// True when the current machine is off: its recorded state is off and no program of the
// machine is running (other than this process).
bool MachineOff();

// Holds the current machine's boot lock while it lives. The constructor blocks until no other
// process holds it; held() is false when there is no machine or the lock file cannot be made.
// The lock goes with the process, so a boot that dies never leaves it taken.
class BootLock {
 public:
  BootLock();
  ~BootLock();
  BootLock(const BootLock&) = delete;
  BootLock& operator=(const BootLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace w98::internal

#endif  // W98_SRC_PROCESS_POWER_STATE_H
