// w98 date and the Date/Time applet: they show the machine's clock and move it, and every
// other process of the machine (this test) sees the new time.
#include <gtest/gtest.h>

#include "core/machine.h"
#include "tool_testing.h"
#include "w98/windows.h"

namespace w98::testing {
namespace {

std::string LocalNow() {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", st.wYear, st.wMonth, st.wDay,
                st.wHour, st.wMinute);
  return text;
}

TEST(W98Date, SetsTheLocalTimeExactlyAcrossDaylightSaving) {
  TempMachine machine;
  ASSERT_TRUE(internal::Machine::Current()->WriteSetting("clock", "timezone", "Europe/Berlin"));
  const std::string root = machine.Root().string();
  // Winter first, then a summer date: a single SetLocalTime would land an hour off.
  struct Case {
    std::vector<std::string> args;
    const char* shown;  // start of what "w98 date" prints
    const char* local;  // what this process's GetLocalTime reads
  } cases[] = {
      {{"date", "set", "2024-01-10", "12:00:00"}, "Wed 2024-01-10 12:00:0", "2024-01-10 12:00"},
      {{"date", "set", "2024-07-01", "08:30"}, "Mon 2024-07-01 08:30:0", "2024-07-01 08:30"},
      {{"date", "set", "2024-12-24"}, "Tue 2024-12-24 08:3", "2024-12-24 08:3"},
  };
  for (const Case& c : cases) {
    const ProgramRun set = RunProgram("w98", c.args, root);
    ASSERT_EQ(set.exit_code, 0) << set.err;
    const ProgramRun shown = RunProgram("w98", {"date"}, root);
    ASSERT_EQ(shown.exit_code, 0) << shown.err;
    EXPECT_EQ(shown.out.rfind(c.shown, 0), 0u) << "w98 date printed " << shown.out;
    EXPECT_EQ(LocalNow().rfind(c.local, 0), 0u) << "this process reads " << LocalNow();
  }
  EXPECT_NE(RunProgram("w98", {"date"}, root).out.find("CET (UTC+01:00)"), std::string::npos);
}

TEST(W98Date, RefusesMalformedDatesAndKeepsTheClock) {
  TempMachine machine;
  const std::string root = machine.Root().string();
  const std::string before = LocalNow();
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    const char* message;
  } cases[] = {{{"date", "set", "2023-02-29"}, 1, "not a date: 2023-02-29"},
               {{"date", "set", "24-01-10"}, 1, "not a date"},
               {{"date", "set", "2024-01-10", "24:00"}, 1, "not a time: 24:00"},
               {{"date", "set", "2024-01-10", "12:00:00", "x"}, 2, "usage: w98 date"},
               {{"date", "now"}, 2, "usage: w98 date"}};
  for (const Case& c : cases) {
    const ProgramRun run = RunProgram("w98", c.args, root);
    EXPECT_EQ(run.exit_code, c.exit_code) << c.message;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
  EXPECT_EQ(internal::Machine::Current()->Setting("clock", "offset"), "0");
  EXPECT_EQ(LocalNow().substr(0, 10), before.substr(0, 10));
}

TEST(DateTimeApplet, SetsTheClockHoweverWindowsStartsIt) {
  TempMachine machine;
  const std::string root = machine.Root().string();

  ProgramRun run = RunProgram("timedate", {"2030-01-02", "03:04:05"}, root);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(LocalNow(), "2030-01-02 03:04");

  // As the Control Panel runs it, answering its questions.
  run = RunProgram("timedate", {"shell32.dll,Control_RunDLL", "timedate.cpl,,0"}, root,
                   "2031-13-01\n2031-05-06\n07:08:09\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("Current date is Wed 2030-01-02"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Invalid entry: 2031-13-01"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("The clock now reads Tue 2031-05-06 07:08:"), std::string::npos)
      << run.out;
  EXPECT_EQ(LocalNow(), "2031-05-06 07:08");

  // Enter keeps the date and time; the end of input closes the applet unchanged.
  for (const char* input : {"\n\n", ""}) {
    run = RunProgram("timedate", {"timedate.cpl"}, root, input);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(LocalNow(), "2031-05-06 07:08") << "input '" << input << "'";
  }

  run = RunProgram("timedate", {"shell32.dll,Control_RunDLL", "desk.cpl,,0"}, root);
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_NE(run.err.find("cannot run"), std::string::npos) << run.err;
  run = RunProgram("timedate", {}, "");
  EXPECT_NE(run.exit_code, 0);
  EXPECT_NE(run.err.find("no machine"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace w98::testing
