// The quick restore on a machine: files back in place with their attributes and times, no
// half-written files, and exit codes and log lines that the boot-phase batch and the main
// program read.
#include "quick_restore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "temp_machine.h"
#include "test_support.h"
#include "w98/windows.h"

namespace trestore {
namespace {

namespace fs = std::filesystem;

constexpr const char* kHeader = "::Quillow DOS Restore File";

std::string LogOf(unsigned hardware, unsigned read, unsigned write, unsigned memory,
                  unsigned application, unsigned low_disk) {
  return "Hardware Errors: " + std::to_string(hardware) +
         "\r\nRead Errors: " + std::to_string(read) + "\r\nWrite Errors: " + std::to_string(write) +
         "\r\nMemory Errors: " + std::to_string(memory) +
         "\r\nApplication Errors: " + std::to_string(application) +
         "\r\nLow Disk Space Errors: " + std::to_string(low_disk) + "\r\n";
}

// Leftovers of a restore: temporary or moved-aside files beside the targets.
bool HasLeftovers(const fs::path& root) {
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.path().filename().string().rfind("~TR", 0) == 0) return true;
  return false;
}

TEST(QuickRestoreTest, RestoresProtectedAndMissingFilesInPlace) {
  w98::testing::TempMachine machine;
  for (const auto& failure :
       dostest::RunScript("file C:\\STORE\\backup\\00000001.001 RHSA old kernel\n"
                          "time C:\\STORE\\backup\\00000001.001 1998-05-11 20:01:00\n"
                          "file C:\\STORE\\backup\\00000002.001 RHSA old settings\n"
                          "file C:\\WINDOWS\\SYSTEM\\KRNL386.EXE RHSA new kernel that is longer\n"
                          "file C:\\STORE\\backup\\00000003.001 RHSA kept\n"
                          "file C:\\KEEP.TXT A current\n",
                          true))
    ADD_FAILURE() << failure;
  RestoreList list;
  list.records = {
      {"4.10", "C:\\WINDOWS\\SYSTEM\\KRNL386.EXE", "C:\\STORE\\backup\\00000001.001",
       FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY},
      {"NONE", "C:\\GONE\\DEEPER\\SETTINGS.INI", "C:\\STORE\\backup\\00000002.001", 0},
  };
  std::string progress;
  const RestoreResult result = RestoreFiles(
      list, RestoreOptions{true}, [&](const std::string& line) { progress += line + "\n"; });
  EXPECT_EQ(result.exit_code, kAllRestored) << progress;
  EXPECT_EQ(result.restored, 2u);
  EXPECT_EQ(LogText(result.counts),
            "Hardware Errors: 0\nRead Errors: 0\nWrite Errors: 0\n"
            "Memory Errors: 0\nApplication Errors: 0\n"
            "Low Disk Space Errors: 0\n");
  for (const auto& failure : dostest::RunScript(
           "file C:\\WINDOWS\\SYSTEM\\KRNL386.EXE RHSA old kernel\n"
           "sametime C:\\WINDOWS\\SYSTEM\\KRNL386.EXE C:\\STORE\\backup\\00000001.001\n"
           "file C:\\GONE\\DEEPER\\SETTINGS.INI A old settings\n"
           "file C:\\STORE\\backup\\00000001.001 RHSA old kernel\n"
           "file C:\\STORE\\backup\\00000002.001 RHSA old settings\n",
           false))
    ADD_FAILURE() << failure;
  EXPECT_FALSE(HasLeftovers(machine.Root()));

  // Without -o an existing file stays as it is.
  list.records = {{"NONE", "C:\\KEEP.TXT", "C:\\STORE\\backup\\00000003.001", 0}};
  const RestoreResult kept = RestoreFiles(list, RestoreOptions{false}, [](const std::string&) {});
  EXPECT_EQ(kept.exit_code, kAllRestored);
  EXPECT_EQ(machine.ReadFile("KEEP.TXT"), "current");
}

// The program as the boot-phase batch starts it, through its stub: exit code and log.
TEST(QuickRestoreTest, ExitCodesAndLog) {
  struct Case {
    const char* name;
    const char* setup;  // besides the store with one good stored copy and the stub
    const char* list;   // nullptr: no list; "%" stands for a good record; the header comes
                        // first unless the text begins with '!'

    int code;
    std::string log;
    bool good_record_restored;
  } cases[] = {
      {"all restored", "", "%", 0, LogOf(0, 0, 0, 0, 0, 0), true},
      {"header only", "", "", 0, LogOf(0, 0, 0, 0, 0, 0), false},
      {"list missing", "", nullptr, 1, LogOf(0, 1, 0, 0, 0, 0), false},
      {"not a list", "", "!REGEDIT4\r\n%", 1, LogOf(0, 0, 0, 0, 1, 0), false},
      {"stored copy missing", "",
       "%\r\nNONE\tC:\\WINDOWS\\B.INI\tC:\\STORE\\backup\\00000099.001\t", 2,
       LogOf(0, 1, 0, 0, 0, 0), true},
      {"target is a folder", "dir C:\\WINDOWS\\FOLDER.INI\n",
       "NONE\tC:\\WINDOWS\\FOLDER.INI\tC:\\STORE\\backup\\00000001.001\t\r\n%", 3,
       LogOf(0, 0, 1, 0, 0, 0), true},
      {"malformed record", "", "%\r\nNONE\tC:\\X.TXT", 4, LogOf(0, 0, 0, 0, 1, 0), true},
      {"disk full", "capacity 400\n", "%", 5, LogOf(0, 0, 0, 0, 0, 1), false},
  };
  for (const auto& c : cases) {
    w98::testing::TempMachine machine;
    std::string setup =
        "stub C:\\WINDOWS\\COMMAND.COM command\n"
        "stub C:\\STORE\\trestore.exe trestore\n"
        "file C:\\STORE\\backup\\00000001.001 RHSA " +
        std::string(2000, 'k') +
        "\n"
        "file C:\\WINDOWS\\A.INI A current\n";
    if (c.list != nullptr) {
      std::string list = c.list[0] == '!'
                             ? std::string(c.list + 1)
                             : std::string(kHeader) + (*c.list ? "\\r\\n" : "") + c.list;
      const std::string good = "NONE\tC:\\WINDOWS\\A.INI\tC:\\STORE\\backup\\00000001.001\t";
      for (size_t at; (at = list.find('%')) != std::string::npos;) list.replace(at, 1, good);
      for (size_t at; (at = list.find("\r\n")) != std::string::npos;) list.replace(at, 2, "\\r\\n");
      for (size_t at; (at = list.find('\t')) != std::string::npos;) list.replace(at, 1, "\\t");
      setup += "file c:\\windows\\temp\\trestdat - " + list + "\n";
    }
    setup += c.setup;
    for (const auto& failure : dostest::RunScript(setup, true)) ADD_FAILURE() << failure;
    const dostest::ProgramRun run = dostest::RunHostProgram(
        "command", {"/C", "\"C:\\STORE\\trestore.exe\" \"c:\\windows\\temp\\trestdat\" -o "},
        machine.Root());
    EXPECT_EQ(run.exit_code, c.code) << c.name << "\n" << run.output;
    EXPECT_EQ(machine.ReadFile("STORE/trestore.log"), c.log) << c.name << "\n" << run.output;
    const std::string restored = machine.ReadFile("WINDOWS/A.INI");
    if (c.good_record_restored)
      EXPECT_TRUE(restored == std::string(2000, 'k')) << c.name << ": not restored";
    else
      EXPECT_TRUE(restored == "current") << c.name << ": changed";
    EXPECT_FALSE(HasLeftovers(machine.Root())) << c.name;
  }
}

}  // namespace
}  // namespace trestore
