// w98 init: a blank Windows 98 machine with its start-up files, settings files, versioned
// system files and program stubs; clear errors for folders that cannot take a machine.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "core/ini_document.h"
#include "tool_testing.h"
#include "version_testing.h"
#include "w98/time.h"
#include "w98/w98.h"
#include "w98/windows.h"

namespace w98::testing {
namespace {

namespace fs = std::filesystem;

class ScratchFolder {
 public:
  ScratchFolder() {
    char pattern[] = "/tmp/w98-init-XXXXXX";
    path_ = ::mkdtemp(pattern);
  }
  ~ScratchFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

TEST(W98Init, CreatesABlankWindows98Machine) {
  ScratchFolder scratch;
  const fs::path root = scratch.Path() / "pc";
  const ProgramRun run = RunProgram("w98", {"init", root.string()}, "");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("Created a Windows 98 machine in " + root.string()), std::string::npos)
      << run.out;
  ASSERT_TRUE(SelectMachine(root.string()));

  for (const char* dir :
       {"a", "c", "d", "run", "c/WINDOWS/SYSTEM", "c/WINDOWS/COMMAND", "c/WINDOWS/TEMP"})
    EXPECT_TRUE(fs::is_directory(root / dir)) << dir;

  // Start-up files, with CR LF line ends throughout.
  for (const char* file :
       {"AUTOEXEC.BAT", "CONFIG.SYS", "MSDOS.SYS", "WINDOWS/SYSTEM.INI", "WINDOWS/WIN.INI"}) {
    const std::string text = Slurp(root / "c" / file);
    EXPECT_FALSE(text.empty()) << file;
    for (size_t k = 0; k < text.size(); ++k) {
      const bool bare_lf = text[k] == '\n' && (k == 0 || text[k - 1] != '\r');
      ASSERT_FALSE(bare_lf) << file << " bare LF at " << k;
    }
  }

  // MSDOS.SYS: [Paths] and [Options], kept longer than 1,024 bytes by its padding, and
  // read-only, hidden and system.
  const std::string msdos = Slurp(root / "c/MSDOS.SYS");
  EXPECT_GT(msdos.size(), 1024u);
  const auto doc = internal::IniDocument::Parse(msdos);
  EXPECT_EQ(doc.Get("Paths", "WinDir").value_or("?"), "C:\\WINDOWS");
  EXPECT_EQ(doc.Get("Paths", "WinBootDir").value_or("?"), "C:\\WINDOWS");
  EXPECT_EQ(doc.Get("Options", "BootGUI").value_or("?"), "1");
  EXPECT_NE(msdos.find("MSDOS.SYS needs to be >1024 bytes"), std::string::npos);
  EXPECT_NE(msdos.find(";" + std::string(69, 'x') + "s\r\n"), std::string::npos);
  EXPECT_EQ(
      GetFileAttributesA("C:\\MSDOS.SYS"),
      static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  EXPECT_EQ(GetFileAttributesA("C:\\AUTOEXEC.BAT"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));

  const auto system_ini = internal::IniDocument::Parse(Slurp(root / "c/WINDOWS/SYSTEM.INI"));
  EXPECT_EQ(system_ini.Get("boot", "shell").value_or("?"), "Explorer.exe");
  const auto win_ini = internal::IniDocument::Parse(Slurp(root / "c/WINDOWS/WIN.INI"));
  EXPECT_TRUE(win_ini.HasSection("windows"));

  // Versioned system files, 32-bit and 16-bit, dated as Windows 98 shipped them.
  struct Versioned {
    const char* path;
    const char* version;
  } versioned[] = {{"C:\\WINDOWS\\SYSTEM\\KERNEL32.DLL", "4.10.1998"},
                   {"C:\\WINDOWS\\SYSTEM\\SHELL32.DLL", "4.72.3110.1"},
                   {"C:\\WINDOWS\\SYSTEM\\ADVAPI32.DLL", "4.80.1675"},
                   {"C:\\WINDOWS\\SYSTEM\\USER.EXE", "4.10.1998"},
                   {"C:\\WINDOWS\\SYSTEM\\KRNL386.EXE", "4.10.1998"}};
  for (const Versioned& v : versioned) {
    EXPECT_EQ(FileVersionText(v.path), v.version) << v.path;
    struct stat st {};
    ASSERT_EQ(::stat(HostPathOf(v.path).c_str(), &st), 0) << v.path;
    const __time64_t written = st.st_mtime;
    tm local{};
    ASSERT_EQ(_localtime64_s(&local, &written), 0);
    EXPECT_EQ(local.tm_year + 1900, 1998) << v.path;
    EXPECT_EQ(local.tm_mon + 1, 5) << v.path;
    EXPECT_EQ(local.tm_mday, 11) << v.path;
    EXPECT_EQ(local.tm_hour * 100 + local.tm_min, 2001) << v.path;
  }

  // The machine's own programs.
  struct Stub {
    const char* path;
    const char* program;
  } stubs[] = {{"C:\\COMMAND.COM", "command"},
               {"C:\\WINDOWS\\COMMAND.COM", "command"},
               {"C:\\WINDOWS\\COMMAND\\ATTRIB.COM", "attrib"},
               {"C:\\WINDOWS\\REGEDIT.EXE", "regedit"},
               {"C:\\WINDOWS\\SMARTDRV.EXE", "smartdrv"},
               {"C:\\WINDOWS\\SYSTEM\\TIMEDATE.CPL", "timedate"},
               {"C:\\WINDOWS\\RUNDLL32.EXE", "timedate"}};
  for (const Stub& s : stubs) EXPECT_EQ(ReadProgramStub(s.path), s.program) << s.path;
  EXPECT_EQ(HostProgramFolder(), BuildBinFolder().string());

  // A fresh machine runs on host time in the host's zone.
  const auto ini = internal::IniDocument::Parse(Slurp(root / "machine.ini"));
  EXPECT_EQ(ini.Get("clock", "offset").value_or("?"), "0");
  EXPECT_EQ(ini.Get("clock", "timezone").value_or("?"), "");
}

TEST(W98Init, RefusesFoldersThatCannotTakeAMachine) {
  ScratchFolder scratch;
  const fs::path machine = scratch.Path() / "pc";
  ASSERT_EQ(RunProgram("w98", {"init", machine.string()}, "").exit_code, 0);
  std::ofstream(scratch.Path() / "file.txt") << "x";
  fs::create_directories(scratch.Path() / "busy");
  std::ofstream(scratch.Path() / "busy" / "keep.txt") << "keep";
  struct Case {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"init", machine.string()}, "already holds a machine"},
      {{"init", (scratch.Path() / "busy").string()}, "is not empty"},
      {{"init", (scratch.Path() / "file.txt").string()}, "is not a folder"},
      {{"init"}, "usage: w98 init DIR"},
  };
  for (const Case& c : cases) {
    const ProgramRun run = RunProgram("w98", c.args, "");
    EXPECT_NE(run.exit_code, 0) << c.message;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << "stderr: " << run.err;
  }
  EXPECT_EQ(Slurp(scratch.Path() / "busy" / "keep.txt"), "keep") << "a refused init lost a file";
  EXPECT_FALSE(fs::exists(scratch.Path() / "busy" / "machine.ini"));
}

TEST(W98Tool, NamesTheProblemWithTheMachineItWasGiven) {
  ScratchFolder scratch;
  struct Case {
    std::vector<std::string> args;
    std::string machine_env;
    const char* message;
  } cases[] = {
      {{"date"}, "", "no machine: give --machine DIR or set W98_MACHINE"},
      {{"--machine", (scratch.Path() / "missing").string(), "date"}, "", "no such machine folder"},
      {{"date"}, (scratch.Path() / "missing").string(), "no such machine folder"},
      {{"--machine", scratch.Path().string(), "date"}, "", "is not a w98 machine (no machine.ini)"},
      {{"bogus"}, "", "unknown command 'bogus'"},
  };
  for (const Case& c : cases) {
    const ProgramRun run = RunProgram("w98", c.args, c.machine_env);
    EXPECT_NE(run.exit_code, 0) << c.message;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << "stderr: " << run.err;
  }
}

TEST(W98Version, ShowsTheVersionResourceOfAFileOfTheMachine) {
  TempMachine machine;
  const std::string root = machine.Root().string();
  ProgramRun run = RunProgram("w98", {"version", "c:\\windows\\system\\user.exe"}, root);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("File version:    4.10.0.1998\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Language:        0409, code page 1252\n"), std::string::npos);
  EXPECT_NE(run.out.find("FileVersion:     4.10.1998\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("OriginalFilename: USER.EXE\n"), std::string::npos) << run.out;
  run = RunProgram("w98", {"version", "C:\\AUTOEXEC.BAT"}, root);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("C:\\AUTOEXEC.BAT: no version information"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace w98::testing
