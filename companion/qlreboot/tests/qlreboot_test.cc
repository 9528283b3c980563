// The Windows phase after a restore: qlreboot runs rw_ini.bat once and never again; and
// zemoqlb records each start.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "temp_machine.h"
#include "test_support.h"

namespace {

// File texts of a machine script take the escapes \r, \n and \\, so the backslashes of DOS
// paths inside them are doubled.
constexpr const char* kSetup =
    "stub C:\\WINDOWS\\COMMAND.COM command\n"
    "dir C:\\STORE\n"
    "file C:\\AUTOEXEC.BAT A @ECHO OFF\\r\\nREM Tavrin Quillow\\r\\n\n"
    "file c:\\windows\\temp\\rw_ini.bat A \\r\\ndel C:\\\\AUTOEXEC.BAT"
    "\\r\\ncommand /c \"c:\\\\windows\\\\temp\\\\rw.bat\"\n"
    "file c:\\windows\\temp\\rw.bat A @echo off\\r\\necho ran>> C:\\\\RUNS.TXT"
    "\\r\\nrem > \"C:\\\\STORE\\\\rw.suc\"\\r\\n\n";

TEST(QlrebootTest, RunsTheWindowsPhaseBatchOnce) {
  for (const char* mode : {"/QH", "/QN", "/QL", "/QX"}) {
    w98::testing::TempMachine machine;
    for (const auto& failure : dostest::RunScript(kSetup, true)) ADD_FAILURE() << failure;
    dostest::ProgramRun run = dostest::RunHostProgram("qlreboot", {mode}, machine.Root());
    EXPECT_EQ(run.exit_code, 0) << mode << "\n" << run.output;
    for (const auto& failure : dostest::RunScript("file C:\\RUNS.TXT A ran\\r\\n\n"
                                                  "file C:\\STORE\\rw.suc A\n"
                                                  "absent C:\\AUTOEXEC.BAT\n"
                                                  "absent c:\\windows\\temp\\rw_ini.bat\n"
                                                  "absent c:\\windows\\temp\\qlrun.bat\n",
                                                  false))
      ADD_FAILURE() << mode << ": " << failure << "\n" << run.output;

    // A second start (RunOnce is gone, but someone starts it again) runs nothing.
    run = dostest::RunHostProgram("qlreboot", {mode}, machine.Root());
    EXPECT_EQ(run.exit_code, 0) << mode;
    EXPECT_EQ(machine.ReadFile("RUNS.TXT"), "ran\r\n") << mode << ": ran twice";
  }
}

TEST(QlrebootTest, ALeftoverOfAnInterruptedRunNeverRuns) {
  w98::testing::TempMachine machine;
  for (const auto& failure :
       dostest::RunScript("stub C:\\WINDOWS\\COMMAND.COM command\n"
                          "file c:\\windows\\temp\\qlrun.bat A echo stale>> C:\\\\RUNS.TXT\n",
                          true))
    ADD_FAILURE() << failure;
  const dostest::ProgramRun run = dostest::RunHostProgram("qlreboot", {"/QN"}, machine.Root());
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_EQ(machine.ReadFile("RUNS.TXT"), "");
}

TEST(ZemoqlbTest, RecordsEachStart) {
  w98::testing::TempMachine machine;
  machine.WriteFile("WINDOWS/ZEMO/SNAPSHOT/zemoqlb.log", "");
  for (int i = 0; i < 2; ++i) {
    const dostest::ProgramRun run = dostest::RunHostProgram("zemoqlb", {}, machine.Root());
    EXPECT_EQ(run.exit_code, 0) << run.output;
  }
  const std::string log = machine.ReadFile("WINDOWS/ZEMO/SNAPSHOT/zemoqlb.log");
  const std::string line = "zemoqlb started \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\r\n";
  EXPECT_TRUE(std::regex_match(log, std::regex("(" + line + "){2}"))) << log;
}

}  // namespace
