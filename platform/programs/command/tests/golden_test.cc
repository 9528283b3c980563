// Golden-file tests of the interpreter: each golden/NAME.bat runs as C:\TEST\NAME.BAT through
// the `command` program ("command /C C:\TEST\NAME.BAT ARGS") on a fresh machine. Beside it:
//   NAME[.VARIANT].out    the exact expected output (written by hand)
//   NAME[.VARIANT].setup  machine script run before (see test_support.h)
//   NAME[.VARIANT].after  machine script checked after; a line "exit N" checks the exit code
// A variant runs NAME.setup and NAME.after too, before its own.
//   NAME[.VARIANT].args   arguments after the batch file's name, one line
// Every machine has the stubs of COMMAND.COM, ATTRIB.COM, SMARTDRV.EXE and C:\TOOLS\PROBE.EXE
// (a program that exits with the code it is given).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "batch_text.h"
#include "temp_machine.h"
#include "test_support.h"

namespace {
namespace fs = std::filesystem;

constexpr const char* kBaseSetup =
    "stub C:\\COMMAND.COM command\n"
    "stub C:\\WINDOWS\\COMMAND.COM command\n"
    "stub C:\\WINDOWS\\COMMAND\\ATTRIB.COM attrib\n"
    "stub C:\\WINDOWS\\SMARTDRV.EXE smartdrv\n"
    "stub C:\\TOOLS\\PROBE.EXE exitprobe\n";

struct GoldenCase {
  std::string name;  // NAME or NAME.VARIANT
  fs::path batch;    // golden/NAME.bat
  fs::path base;     // golden/NAME[.VARIANT] without extension
};

std::vector<GoldenCase> FindCases() {
  std::vector<GoldenCase> cases;
  const fs::path folder = GOLDEN_DIR;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() != ".out") continue;
    GoldenCase c;
    c.name = entry.path().stem().string();
    c.base = folder / c.name;
    const std::string stem = c.name.substr(0, c.name.find('.'));
    c.batch = folder / (stem + ".bat");
    cases.push_back(c);
  }
  std::sort(cases.begin(), cases.end(),
            [](const GoldenCase& a, const GoldenCase& b) { return a.name < b.name; });
  return cases;
}

std::string ReadOptional(const fs::path& path) {
  return fs::exists(path) ? dostest::ReadHostFile(path) : std::string();
}

class GoldenTest : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenTest, OutputAndFilesMatch) {
  const GoldenCase& c = GetParam();
  w98::testing::TempMachine machine;
  for (const std::string& failure : dostest::RunScript(kBaseSetup, true)) ADD_FAILURE() << failure;
  const std::string stem = c.name.substr(0, c.name.find('.'));
  const fs::path stem_base = c.batch.parent_path() / stem;
  // A variant (NAME.VARIANT) runs the stem's .setup and .after as well as its own.
  const auto both = [&](const char* extension) {
    std::string text = ReadOptional(stem_base.string() + extension);
    if (stem_base != c.base) text += "\n" + ReadOptional(c.base.string() + extension);
    return text;
  };
  for (const std::string& failure : dostest::RunScript(both(".setup"), true))
    ADD_FAILURE() << "setup: " << failure;
  const std::string dos_batch = "C:\\TEST\\" + command::UpperCase(stem) + ".BAT";
  machine.WriteFile("TEST/" + command::UpperCase(stem) + ".BAT", dostest::ReadHostFile(c.batch));

  std::vector<std::string> args{"/C", dos_batch};
  std::istringstream extra(ReadOptional(c.base.string() + ".args"));
  for (std::string word; extra >> word;) args.push_back(word);
  const dostest::ProgramRun run = dostest::RunHostProgram("command", args, machine.Root());

  EXPECT_EQ(run.output, dostest::ReadHostFile(c.base.string() + ".out"))
      << "case " << c.name << ": expected the .out file, got the text above";
  const std::string after = both(".after");
  std::istringstream lines(after);
  std::string checks;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("exit ", 0) == 0)
      EXPECT_EQ(run.exit_code, std::stoi(line.substr(5))) << "case " << c.name << ": exit code";
    else
      checks += line + "\n";
  }
  for (const std::string& failure : dostest::RunScript(checks, false))
    ADD_FAILURE() << "case " << c.name << ": " << failure;
}

INSTANTIATE_TEST_SUITE_P(Batch, GoldenTest, ::testing::ValuesIn(FindCases()),
                         [](const ::testing::TestParamInfo<GoldenCase>& param) {
                           std::string name = param.param.name;
                           for (char& ch : name)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

}  // namespace
