// Version resources of generated PE (32- and 64-bit) and NE files, read through the Win32
// calls as a Windows 98 program reads them.
#include <cstring>

#include <gtest/gtest.h>

#include "temp_machine.h"
#include "version_testing.h"

namespace w98::testing {
namespace {

using internal::BuildExecutable;
using internal::ExecutableKind;

struct Kind {
  ExecutableKind kind;
  const char* name;
} const kKinds[] = {
    {ExecutableKind::kPe32, "PE32"}, {ExecutableKind::kPe64, "PE32+"}, {ExecutableKind::kNe, "NE"}};

std::vector<char> ReadInfo(const std::string& path) {
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
  std::vector<char> info(size + 64, '\xCC');  // canary after the buffer
  EXPECT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data())) << path;
  for (size_t k = size; k < info.size(); ++k)
    EXPECT_EQ(info[k], '\xCC') << path << ": wrote past the size it asked for, at " << k;
  info.resize(size);
  return info;
}

std::string QueryText(const std::vector<char>& info, const char* path, UINT* length_out = nullptr) {
  void* value = reinterpret_cast<void*>(0x1);
  UINT length = 0xdeadbeef;
  if (!VerQueryValueA(info.data(), path, &value, &length)) {
    EXPECT_EQ(length, 0u) << path << ": puLen on failure";
    return "<missing>";
  }
  EXPECT_GE(static_cast<const char*>(value), info.data()) << path << " points outside the buffer";
  EXPECT_LE(static_cast<const char*>(value) + length, info.data() + info.size()) << path;
  if (length_out) *length_out = length;
  return std::string(static_cast<const char*>(value), length);
}

TEST(VersionInfo, ReadsEveryStandardValueOfEachKindOfExecutable) {
  TempMachine machine;
  for (const Kind& kind : kKinds) {
    for (std::uint16_t code_page : {std::uint16_t{1252}, std::uint16_t{1200}}) {
      internal::VersionSpec wanted = SampleSpec("4.10.1998");
      wanted.code_page = code_page;
      machine.WriteFile("WINDOWS/SYSTEM/TEST.DLL", BuildExecutable(kind.kind, wanted, "TEST"));
      const std::string path = "C:\\WINDOWS\\SYSTEM\\test.dll";
      SCOPED_TRACE(std::string(kind.name) + " code page " + std::to_string(code_page));

      DWORD handle = 0xdeadbeef;
      const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
      ASSERT_GT(size, 0u) << "last error " << GetLastError();
      EXPECT_EQ(handle, 0u);
      const std::vector<char> info = ReadInfo(path);

      void* value = nullptr;
      UINT length = 0;
      ASSERT_TRUE(VerQueryValueA(info.data(), "\\", &value, &length));
      ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
      VS_FIXEDFILEINFO fixed;
      std::memcpy(&fixed, value, sizeof fixed);
      EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
      EXPECT_EQ(fixed.dwFileVersionMS, 0x0004000Au);
      EXPECT_EQ(fixed.dwFileVersionLS, 0x000007CEu);
      EXPECT_EQ(fixed.dwProductVersionLS, 0x000008AEu);

      ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", &value, &length));
      ASSERT_EQ(length, 4u) << "length in bytes";
      WORD pair[2];
      std::memcpy(pair, value, 4);
      EXPECT_EQ(pair[0], 0x0409);
      EXPECT_EQ(pair[1], code_page);

      char table[64];
      std::snprintf(table, sizeof table, "\\StringFileInfo\\%04x%04x\\", 0x0409, code_page);
      const std::string prefix = table;
      struct Expect {
        const char* name;
        const char* text;
      } expected[] = {{"FileVersion", "4.10.1998"},
                      {"fileversion", "4.10.1998"},
                      {"CompanyName", "Microsoft Corporation"},
                      {"FileDescription", "Windows 32-bit kernel core"},
                      {"InternalName", "KERNEL32"},
                      {"LegalCopyright", "Copyright \xA9 1981-1998"},
                      {"OriginalFilename", "KERNEL32.DLL"},
                      {"ProductName", "Windows 98"},
                      {"ProductVersion", "4.10.2222"},
                      {"Comments", "<missing>"},
                      {"FileVersion\\Deeper", "<missing>"}};
      for (const Expect& e : expected) {
        UINT n = 0;
        std::string text = QueryText(info, (prefix + e.name).c_str(), &n);
        if (text != "<missing>") {
          EXPECT_EQ(n, std::strlen(e.text) + 1) << e.name << ": length in characters with NUL";
          EXPECT_EQ(text.back(), '\0') << e.name;
          text.pop_back();
        }
        EXPECT_EQ(text, e.text) << prefix << e.name;
      }
      // Upper-case hex in the table name, and the wrong code page.
      std::snprintf(table, sizeof table, "\\STRINGFILEINFO\\%04X%04X\\FILEVERSION", 0x0409,
                    code_page);
      EXPECT_EQ(QueryText(info, table), std::string("4.10.1998", 10));
      EXPECT_EQ(QueryText(info, "\\StringFileInfo\\04090000\\FileVersion"), "<missing>");
      EXPECT_EQ(FileVersionText(path), "4.10.1998");
    }
  }
}

TEST(VersionInfo, FileWithoutFileVersionGivesAnEmptyVersionText) {
  TempMachine machine;
  internal::VersionSpec wanted = SampleSpec("x");
  wanted.strings = {{"CompanyName", "Nobody"}};
  machine.WriteFile("NOVER.DLL", BuildExecutable(ExecutableKind::kPe32, wanted));
  EXPECT_GT(GetFileVersionInfoSizeA("C:\\NOVER.DLL", nullptr), 0u);
  EXPECT_EQ(FileVersionText("C:\\NOVER.DLL"), "");
}

TEST(VersionInfo, FilesWithoutVersionInformationGiveSizeZero) {
  TempMachine machine;
  internal::VersionSpec wanted = SampleSpec("1.0");
  const std::string pe = BuildExecutable(ExecutableKind::kPe32, wanted);
  std::string no_resources = pe;
  no_resources[0x80 + 24 + 96 + 16] = 0;  // resource directory RVA = 0
  no_resources[0x80 + 24 + 96 + 17] = 0;
  machine.WriteFile("TEXT.TXT", "[boot]\r\nshell=Explorer.exe\r\n");
  machine.WriteFile("EMPTY.DLL", "");
  machine.WriteFile("MZONLY.EXE", "MZ");
  machine.WriteFile("NORSRC.DLL", no_resources);
  machine.WriteFile("CUT.DLL", pe.substr(0, pe.size() - 0x200 + 0x58 + 40));  // inside the tree
  machine.WriteFile("SUB/KEEP.TXT", "x");
  struct Case {
    const char* path;
    DWORD error;
  } cases[] = {
      {"C:\\TEXT.TXT", ERROR_FILE_NOT_FOUND},     {"C:\\EMPTY.DLL", ERROR_FILE_NOT_FOUND},
      {"C:\\MZONLY.EXE", ERROR_FILE_NOT_FOUND},   {"C:\\NORSRC.DLL", ERROR_FILE_NOT_FOUND},
      {"C:\\CUT.DLL", ERROR_FILE_NOT_FOUND},      {"C:\\MISSING.DLL", ERROR_FILE_NOT_FOUND},
      {"C:\\NO\\SUCH.DLL", ERROR_PATH_NOT_FOUND}, {"C:\\SUB", ERROR_FILE_NOT_FOUND}};
  for (const Case& c : cases) {
    DWORD handle = 0xdeadbeef;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetFileVersionInfoSizeA(c.path, &handle), 0u) << c.path;
    EXPECT_EQ(GetLastError(), c.error) << c.path;
    EXPECT_EQ(handle, 0u) << c.path;
    char buffer[64];
    std::memset(buffer, 0x5A, sizeof buffer);
    EXPECT_FALSE(GetFileVersionInfoA(c.path, 0, sizeof buffer, buffer)) << c.path;
    EXPECT_EQ(buffer[0], 0x5A) << c.path;
  }
  EXPECT_EQ(GetFileVersionInfoSizeA(nullptr, nullptr), 0u);
}

TEST(VersionInfo, ABufferSmallerThanAskedForIsRefusedAndUntouched) {
  TempMachine machine;
  machine.WriteFile("A.DLL", BuildExecutable(ExecutableKind::kPe32, SampleSpec("2.0")));
  const DWORD size = GetFileVersionInfoSizeA("C:\\A.DLL", nullptr);
  ASSERT_GT(size, 0u);
  std::vector<char> small(size - 1, '\x77');
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(GetFileVersionInfoA("C:\\A.DLL", 0, size - 1, small.data()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  for (char c : small) ASSERT_EQ(c, '\x77');
}

TEST(VerQueryValue, RefusesMissingArguments) {
  TempMachine machine;
  machine.WriteFile("A.DLL", BuildExecutable(ExecutableKind::kNe, SampleSpec("3.1")));
  const std::vector<char> info = ReadInfo("C:\\A.DLL");
  void* value = nullptr;
  UINT length = 7;
  EXPECT_FALSE(VerQueryValueA(nullptr, "\\", &value, &length));
  EXPECT_FALSE(VerQueryValueA(info.data(), nullptr, &value, &length));
  EXPECT_FALSE(VerQueryValueA(info.data(), "\\", nullptr, &length));
  EXPECT_EQ(length, 0u);
  EXPECT_TRUE(VerQueryValueA(info.data(), "", &value, &length)) << "an empty path is the root";
  EXPECT_EQ(length, sizeof(VS_FIXEDFILEINFO));
}

}  // namespace
}  // namespace w98::testing
