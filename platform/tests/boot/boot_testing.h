// Helpers for tests of the machine's boot: running the w98 tool on a test machine, setting
// start-up programs, and reading the boot log.
#ifndef W98_TESTS_BOOT_BOOT_TESTING_H
#define W98_TESTS_BOOT_BOOT_TESTING_H

#include <string>
#include <vector>

#include "temp_machine.h"
#include "test_support.h"

namespace boottest {

// Runs `w98 ARGS...` on `machine` and waits for it; output is stdout and stderr together.
dostest::ProgramRun RunTool(const w98::testing::TempMachine& machine,
                            const std::vector<std::string>& args);

// Sets the value `name` of HKLM\Software\Microsoft\Windows\CurrentVersion\`key` (RunOnce,
// Run) to `command`, durably.
void SetStartupValue(const std::string& key, const std::string& name, const std::string& command);

// The value of HKLM\`key_path`, `name` as text, or "(missing)".
std::string MachineValue(const std::string& key_path, const std::string& name);

// The boot log of the current machine (or the one before it); "" when there is none.
std::string BootLog(bool previous = false);

// "" when every text of `expected` occurs in `log`, each after the one before it; else what
// was missing, with the log.
std::string InOrder(const std::string& log, const std::vector<std::string>& expected);

// How often `text` occurs in `log`.
size_t Count(const std::string& log, const std::string& text);

// Drive C: text with LF line ends as a DOS program writes it: every LF becomes CR LF.
std::string Dos(const std::string& text);

}  // namespace boottest

#endif  // W98_TESTS_BOOT_BOOT_TESTING_H
