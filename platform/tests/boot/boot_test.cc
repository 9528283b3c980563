// Booting and restarting a machine: the DOS phase, the Windows start-up, the boot log, the
// machine's power state and waiting for the started programs.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "boot_testing.h"
#include "process/host_process.h"
#include "process/power_state.h"
#include "registry/registry.h"
#include "temp_machine.h"
#include "w98/w98.h"
#include "w98/windows.h"

namespace {

using boottest::Dos;
using boottest::InOrder;
using boottest::RunTool;

constexpr const char* kRunOnceKey = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

TEST(BootTest, RunsAutoexecThenRunOnceThenRunAndLogsIt) {
  w98::testing::TempMachine machine;
  machine.WriteFile("AUTOEXEC.BAT", Dos("@ECHO OFF\nECHO hello from DOS\nrem > C:\\DOS.TXT\n"));
  machine.WriteFile("ONCE.BAT", Dos("@echo off\necho once ran\nrem > C:\\ONCE.TXT\n"));
  machine.WriteFile("TRAY.BAT", Dos("@echo off\necho tray ran\n"));
  boottest::SetStartupValue("RunOnce", "First", "C:\\COMMAND.COM /C C:\\ONCE.BAT");
  boottest::SetStartupValue("Run", "Tray", "C:\\COMMAND.COM /C C:\\TRAY.BAT");

  const auto run = RunTool(machine, {"boot", "--wait=60", "--log"});
  ASSERT_EQ(run.exit_code, 0) << run.output;
  const std::string log = boottest::BootLog();
  EXPECT_EQ(
      InOrder(log, {" boot\n", "phase: DOS", "C:\\COMMAND.COM /C C:\\AUTOEXEC.BAT",
                    "DOS> hello from DOS\n", "C:\\AUTOEXEC.BAT ended, ERRORLEVEL 0",
                    "phase: Windows start-up", "RunOnce First: C:\\COMMAND.COM /C C:\\ONCE.BAT",
                    "RunOnce First> once ran\n", "RunOnce First: ended with 0",
                    "Run Tray: C:\\COMMAND.COM /C C:\\TRAY.BAT", "boot done"}),
      "");
  // A Run program writes into the log itself, unstamped, whenever it runs.
  EXPECT_NE(log.find("\ntray ran\n"), std::string::npos) << log;
  EXPECT_EQ(run.output, log) << "--log shows this boot's log as it is written";
  EXPECT_TRUE(std::filesystem::exists(machine.OnC("DOS.TXT")));
  EXPECT_TRUE(std::filesystem::exists(machine.OnC("ONCE.TXT")));
  EXPECT_EQ(boottest::MachineValue(kRunOnceKey, "First"), "(missing)") << "RunOnce runs once";
  EXPECT_EQ(boottest::MachineValue(kRunKey, "Tray"), "C:\\COMMAND.COM /C C:\\TRAY.BAT");

  // The restart ends the session in the old log and boots into a new one; RunOnce is empty now.
  std::filesystem::remove(machine.OnC("ONCE.TXT"));
  const auto again = RunTool(machine, {"restart", "--wait=60"});
  ASSERT_EQ(again.exit_code, 0) << again.output;
  EXPECT_EQ(InOrder(boottest::BootLog(true),
                    {" boot\n", "boot done", " restart\n", "phase: end programs"}),
            "");
  const std::string second = boottest::BootLog();
  EXPECT_EQ(InOrder(second, {" restart\n", "phase: DOS", "DOS> hello from DOS",
                             "Run Tray:", "restart done"}),
            "");
  EXPECT_EQ(second.find("RunOnce First"), std::string::npos) << second;
  EXPECT_FALSE(std::filesystem::exists(machine.OnC("ONCE.TXT")));
  EXPECT_EQ(RunTool(machine, {"log"}).output, second);
}

TEST(BootTest, OnlyAMachineThatIsOffBoots) {
  w98::testing::TempMachine machine;
  EXPECT_TRUE(w98::MachineIsOff()) << "a new machine was never started";
  ASSERT_EQ(RunTool(machine, {"boot"}).exit_code, 0);
  EXPECT_FALSE(w98::MachineIsOff());

  const auto refused = RunTool(machine, {"boot"});
  EXPECT_EQ(refused.exit_code, 3);
  EXPECT_NE(refused.output.find("the machine is running"), std::string::npos) << refused.output;
  EXPECT_EQ(boottest::Count(boottest::BootLog(), "phase: DOS"), 1u) << "nothing ran again";

  ASSERT_EQ(RunTool(machine, {"shutdown"}).exit_code, 0);
  EXPECT_TRUE(w98::MachineIsOff());
  EXPECT_NE(boottest::BootLog().find("machine off"), std::string::npos);

  // A program running on a machine that is off keeps it from booting under it.
  ASSERT_TRUE(w98::WriteProgramStub("C:\\WINDOWS\\PROBE.EXE", "w98_process_probe"));
  std::string line = "probe --sleep 2000";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION running{};
  ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &running));
  EXPECT_FALSE(w98::MachineIsOff());
  EXPECT_EQ(RunTool(machine, {"boot"}).exit_code, 3);
  ASSERT_EQ(WaitForSingleObject(running.hProcess, 30000), static_cast<DWORD>(WAIT_OBJECT_0));
  CloseHandle(running.hThread);
  CloseHandle(running.hProcess);
  EXPECT_TRUE(w98::MachineIsOff());
  EXPECT_EQ(RunTool(machine, {"boot"}).exit_code, 0);
}

TEST(BootTest, RecordedPowerStateOfEachRunFile) {
  w98::testing::TempMachine machine;
  const auto power = machine.Root() / "run" / "power";
  const std::string own = "starting " + std::to_string(::getpid()) + " " +
                          std::to_string(w98::internal::OwnStartTime()) + "\n";
  using w98::internal::PowerState;
  const struct {
    const char* what;
    std::string text;  // "" : no file
    PowerState state;
  } cases[] = {
      {"never started", "", PowerState::kOff},
      {"on", "on\n", PowerState::kOn},
      {"shut down", "off\n", PowerState::kOff},
      {"a boot under way", own, PowerState::kStarting},
      {"a boot that died", "starting 999999999 1\n", PowerState::kOff},
      {"a boot of a recycled process id", "starting " + std::to_string(::getpid()) + " 1\n",
       PowerState::kOff},
      {"damaged", "o\xff\n", PowerState::kOff},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(power);
    if (!c.text.empty()) std::ofstream(power) << c.text;
    EXPECT_EQ(static_cast<int>(w98::internal::RecordedPowerState()), static_cast<int>(c.state))
        << c.what;
  }
  // What is recorded reads back.
  for (PowerState state : {PowerState::kOn, PowerState::kStarting, PowerState::kOff}) {
    ASSERT_TRUE(w98::internal::RecordPowerState(state));
    EXPECT_EQ(static_cast<int>(w98::internal::RecordedPowerState()), static_cast<int>(state));
  }
}

TEST(BootTest, BootsWithoutAutoexecOrWithoutInterpreter) {
  const struct {
    const char* what;
    std::vector<const char*> removed;
    const char* logged;
  } cases[] = {
      {"no AUTOEXEC.BAT", {"AUTOEXEC.BAT"}, "no C:\\AUTOEXEC.BAT"},
      {"no COMMAND.COM",
       {"COMMAND.COM", "WINDOWS/COMMAND.COM"},
       "Bad or missing command interpreter: C:\\AUTOEXEC.BAT not run"},
  };
  for (const auto& c : cases) {
    w98::testing::TempMachine machine;
    machine.WriteFile("AUTOEXEC.BAT", Dos("rem > C:\\RAN.TXT\n"));
    for (const char* file : c.removed) std::filesystem::remove(machine.OnC(file));
    ASSERT_TRUE(w98::WriteProgramStub("C:\\WINDOWS\\PROBE.EXE", "w98_process_probe"));
    boottest::SetStartupValue("Run", "Probe", "probe --exit 0");

    const auto run = RunTool(machine, {"boot", "--wait=60"});
    EXPECT_EQ(run.exit_code, 0) << c.what << "\n" << run.output;
    const std::string log = boottest::BootLog();
    EXPECT_EQ(InOrder(log, {"phase: DOS", c.logged, "Run Probe: probe --exit 0", "boot done"}), "")
        << c.what;
    EXPECT_FALSE(std::filesystem::exists(machine.OnC("RAN.TXT"))) << c.what;
    EXPECT_NE(machine.ReadFile("PROBE.TXT").find("cmdline=probe --exit 0"), std::string::npos)
        << c.what << ": Windows started all the same";
  }
}

TEST(BootTest, WaitWaitsForTheStartedProgramsWithinItsLimit) {
  w98::testing::TempMachine machine;
  ASSERT_TRUE(w98::WriteProgramStub("C:\\WINDOWS\\PROBE.EXE", "w98_process_probe"));
  boottest::SetStartupValue("Run", "Slow", "probe --sleep 1500");
  const auto waited = RunTool(machine, {"boot", "--wait=60"});
  EXPECT_EQ(waited.exit_code, 0) << waited.output;
  EXPECT_NE(machine.ReadFile("PROBE.TXT").find("--sleep"), std::string::npos);
  EXPECT_TRUE(w98::WaitForMachinePrograms(0)) << "the Run program had ended when boot returned";

  boottest::SetStartupValue("Run", "Slow", "probe --sleep 60000");
  const auto gave_up = RunTool(machine, {"restart", "--wait=1"});
  EXPECT_EQ(gave_up.exit_code, 4) << gave_up.output;
  EXPECT_NE(gave_up.output.find("still run after 1 s"), std::string::npos) << gave_up.output;
  EXPECT_FALSE(w98::WaitForMachinePrograms(0));
  EXPECT_EQ(RunTool(machine, {"shutdown", "--force"}).exit_code, 0);
  EXPECT_TRUE(w98::WaitForMachinePrograms(0));

  for (const char* bad : {"--wait=", "--wait=-1", "--wait=1x", "--wait=99999999999", "--now"}) {
    const auto refused = RunTool(machine, {"boot", bad});
    EXPECT_EQ(refused.exit_code, 2) << bad << ": " << refused.output;
  }
}

// The restart in this process: what it leaves pending in a hive, and what it reads back after
// the DOS phase replaced the hive.
TEST(RestartTest, DosPhaseOwnsTheHivesThatTheRestartLetGoOf) {
  w98::testing::TempMachine machine;
  // The hive that the DOS phase will put in place: RunOnce names the program that must run.
  boottest::SetStartupValue("RunOnce", "FromCopy", "C:\\COMMAND.COM /C rem > C:\\COPY.TXT");
  ASSERT_TRUE(CopyFileA("C:\\WINDOWS\\SYSTEM.DAT", "C:\\WINDOWS\\SYSTEM.NEW", FALSE));
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  RegDeleteValueA(key, "FromCopy");
  const char old_command[] = "C:\\COMMAND.COM /C rem > C:\\OLD.TXT";
  RegSetValueExA(key, "FromOld", 0, REG_SZ, reinterpret_cast<const BYTE*>(old_command),
                 sizeof old_command);
  RegFlushKey(key);
  // A change that this process has not written out yet: the restart must write it into the
  // hive it was made in, before that hive is replaced, never into the one put in its place.
  std::shared_ptr<w98::internal::Hive> hive;
  ASSERT_EQ(w98::internal::MachineHive(w98::internal::HiveKind::kSystem, &hive), ERROR_SUCCESS);
  hive->Hold(true);
  const char pending[] = "not written out yet";
  RegSetValueExA(key, "Pending", 0, REG_SZ, reinterpret_cast<const BYTE*>(pending), sizeof pending);
  RegCloseKey(key);
  ASSERT_TRUE(hive->PendingSince() != 0);
  machine.WriteFile("AUTOEXEC.BAT",
                    Dos("@echo off\nCOPY C:\\WINDOWS\\SYSTEM.DAT C:\\WINDOWS\\SYSTEM.OLD\n"
                        "COPY /Y C:\\WINDOWS\\SYSTEM.NEW C:\\WINDOWS\\SYSTEM.DAT\n"));

  EXPECT_EQ(w98::RestartMachine(), 0) << boottest::BootLog();
  hive->Hold(false);
  EXPECT_TRUE(std::filesystem::exists(machine.OnC("COPY.TXT")))
      << "RunOnce came from the hive that the DOS phase put in place\n"
      << boottest::BootLog();
  EXPECT_FALSE(std::filesystem::exists(machine.OnC("OLD.TXT")));
  EXPECT_EQ(boottest::MachineValue(kRunOnceKey, "Pending"), "(missing)");
  EXPECT_EQ(boottest::MachineValue(kRunOnceKey, "FromOld"), "(missing)");

  // The hive that was replaced holds the change that was pending.
  ASSERT_TRUE(CopyFileA("C:\\WINDOWS\\SYSTEM.OLD", "C:\\WINDOWS\\SYSTEM.DAT", FALSE));
  EXPECT_EQ(boottest::MachineValue(kRunOnceKey, "Pending"), pending);
}

TEST(RestartTest, RestartsOfOneMachineRunOneAfterTheOther) {
  w98::testing::TempMachine machine;
  machine.WriteFile("AUTOEXEC.BAT", Dos("@echo off\necho one\necho two\necho three\n"));
  dostest::ProgramRun first, second;
  std::thread a([&] { first = RunTool(machine, {"restart"}); });
  std::thread b([&] { second = RunTool(machine, {"restart"}); });
  a.join();
  b.join();
  EXPECT_EQ(first.exit_code, 0) << first.output;
  EXPECT_EQ(second.exit_code, 0) << second.output;
  // Each log holds one whole boot, not two woven together.
  for (bool previous : {true, false}) {
    const std::string log = boottest::BootLog(previous);
    EXPECT_EQ(boottest::Count(log, "phase: DOS"), 1u) << log;
    EXPECT_EQ(InOrder(log, {"phase: DOS", "DOS> one", "DOS> two", "DOS> three", "restart done"}),
              "");
  }
}

}  // namespace
