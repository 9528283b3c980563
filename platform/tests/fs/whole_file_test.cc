// The whole-file helpers that w98's own modules write profile files with.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <ctime>
#include <filesystem>

#include "core/machine.h"
#include "fs/whole_file.h"
#include "fs_test_support.h"
#include "temp_machine.h"
#include "w98/windows.h"

namespace w98::testing {
namespace {

using internal::ReadWholeFile;
using internal::ReplaceWholeFile;

TEST(WholeFile, ReplacesAsAW98WriteDoes) {
  TempMachine machine;
  ASSERT_TRUE(internal::Machine::Current()->WriteSetting("clock", "offset", "-86400"));
  machine.WriteFile("WINDOWS/App.ini", "old");
  SetHostDosAttrib(machine.OnC("WINDOWS/App.ini"), "0x02");
  ASSERT_EQ(ReplaceWholeFile("c:\\windows\\APP.INI", "[new]\r\n"), 0u);
  std::string bytes = "sentinel";
  ASSERT_EQ(ReadWholeFile("C:\\WINDOWS\\app.ini", bytes), 0u);
  EXPECT_EQ(bytes, "[new]\r\n");
  EXPECT_EQ(HostDosAttrib(machine.OnC("WINDOWS/App.ini")), "0x22") << "keeps hidden, adds archive";
  struct stat st {};
  ASSERT_EQ(::stat(machine.OnC("WINDOWS/App.ini").c_str(), &st), 0);
  EXPECT_NEAR(static_cast<double>(::time(nullptr) - st.st_mtime), 86400.0, 60.0);

  ASSERT_EQ(ReplaceWholeFile("C:\\WINDOWS\\Fresh.Ini", "x"), 0u);
  EXPECT_EQ(machine.ReadFile("WINDOWS/Fresh.Ini"), "x");
  EXPECT_EQ(HostDosAttrib(machine.OnC("WINDOWS/Fresh.Ini")), "0x20");

  SetHostDosAttrib(machine.OnC("WINDOWS/Fresh.Ini"), "0x01");
  EXPECT_EQ(ReplaceWholeFile("C:\\WINDOWS\\Fresh.Ini", "y"),
            static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(ReplaceWholeFile("C:\\nowhere\\a.ini", "y"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(ReadWholeFile("C:\\missing.ini", bytes), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(machine.ReadFile("WINDOWS/Fresh.Ini"), "x");

  // A full disk changes nothing.
  ASSERT_TRUE(internal::Machine::Current()->WriteSetting("capacity", "C", "1"));
  EXPECT_EQ(ReplaceWholeFile("C:\\WINDOWS\\App.ini", std::string(5000, 'z')),
            static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(machine.ReadFile("WINDOWS/App.ini"), "[new]\r\n");
  for (const auto& e : std::filesystem::directory_iterator(machine.OnC("WINDOWS")))
    EXPECT_EQ(e.path().filename().string().find(':'), std::string::npos) << e.path();
}

}  // namespace
}  // namespace w98::testing
