// DOS attributes: how they are stored, what is reported, and that w98 enforces read-only even
// though the process runs as root.
#include <gtest/gtest.h>

#include <filesystem>

#include "fs/dos_attributes.h"
#include "fs_test_support.h"
#include "temp_machine.h"
#include "w98/io.h"
#include "w98/windows.h"

namespace w98::testing {
namespace {

TEST(DosAttributeRecord, HasOneDocumentedEncoding) {
  using internal::DecodeDosAttributes;
  using internal::EncodeDosAttributes;
  EXPECT_EQ(EncodeDosAttributes(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE), "0x21");
  EXPECT_EQ(EncodeDosAttributes(0), "0x00");
  EXPECT_EQ(EncodeDosAttributes(0xFFFFFFFF), "0x27");  // only R, H, S and A are stored
  struct Case {
    std::string value;
    std::optional<DWORD> bits;
  } cases[] = {
      {"0x21", 0x21u},
      {"0x7", 0x07u},
      {"0X02", 0x02u},
      {std::string("0x20\0", 5), 0x20u},  // a trailing NUL, as other writers leave it
      {"0x10", 0x00u},                    // the directory bit is never taken from the record
      {"0x00000024", 0x24u},
      {"21", std::nullopt},
      {"0x", std::nullopt},
      {"0xZZ", std::nullopt},
      {"0x123456789", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeDosAttributes(c.value), c.bits) << c.value;
}

class AttributesTest : public ::testing::Test {
 protected:
  TempMachine machine_;
};

TEST_F(AttributesTest, DefaultsAndRoundTrips) {
  machine_.WriteFile("plain.txt", "x");
  machine_.WriteFile("broken.txt", "x");
  SetHostDosAttrib(machine_.OnC("broken.txt"), "garbage");
  EXPECT_EQ(GetFileAttributesA("C:\\plain.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(GetFileAttributesA("C:\\broken.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(GetFileAttributesA("C:\\WINDOWS"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(GetFileAttributesA("C:\\"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));

  struct Case {
    DWORD set;
    DWORD reported;
    const char* stored;
  } cases[] = {
      {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, 0x03, "0x03"},
      {FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_NORMAL, "0x00"},
      {FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_DIRECTORY, 0x24, "0x24"},
      {FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_HIDDEN, 0x02, "0x02"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(SetFileAttributesA("c:\\PLAIN.TXT", c.set)) << c.set;
    EXPECT_EQ(GetFileAttributesA("C:\\plain.txt"), c.reported) << c.set;
    EXPECT_EQ(HostDosAttrib(machine_.OnC("plain.txt")), c.stored) << c.set;
  }
  ASSERT_TRUE(SetFileAttributesA("C:\\WINDOWS", FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(GetFileAttributesA("C:\\windows"),
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));

  SetLastError(0xdeadbeef);
  EXPECT_EQ(GetFileAttributesA("C:\\missing.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  SetLastError(0xdeadbeef);
  EXPECT_EQ(GetFileAttributesA("C:\\nofolder\\x.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(SetFileAttributesA("C:\\missing.txt", FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(AttributesTest, ReadOnlyHoldsAgainstRoot) {
  ASSERT_EQ(::geteuid(), 0u) << "this test shows that root is refused; run it as root";
  machine_.WriteFile("locked.txt", "keep me");
  machine_.WriteFile("source.txt", "new bytes");
  ASSERT_TRUE(SetFileAttributesA("C:\\locked.txt", FILE_ATTRIBUTE_READONLY));

  SetLastError(0xdeadbeef);
  EXPECT_FALSE(DeleteFileA("C:\\locked.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(CopyFileA("C:\\source.txt", "C:\\LOCKED.TXT", FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  for (int flags : {_O_WRONLY, _O_RDWR, _O_RDONLY | _O_TRUNC, _O_WRONLY | _O_APPEND,
                    _O_WRONLY | _O_CREAT | _O_TRUNC}) {
    errno = 0;
    EXPECT_EQ(_open("C:\\locked.txt", flags, _S_IREAD | _S_IWRITE), -1) << flags;
    EXPECT_EQ(errno, EACCES) << flags;
  }
  const int fd = _open("C:\\locked.txt", _O_RDONLY);
  EXPECT_GE(fd, 0) << "reading stays allowed";
  _close(fd);
  EXPECT_EQ(machine_.ReadFile("locked.txt"), "keep me");

  // A read-only folder cannot be removed either; files inside it can still be made, as on
  // Windows, where the bit on a folder does not guard its contents.
  ASSERT_TRUE(CreateDirectoryA("C:\\store", nullptr));
  ASSERT_TRUE(SetFileAttributesA("C:\\store", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_TRUE(CopyFileA("C:\\source.txt", "C:\\store\\copy.txt", TRUE));
  ASSERT_TRUE(DeleteFileA("C:\\store\\copy.txt"));
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(RemoveDirectoryA("C:\\store"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  // Once the bit is cleared, all of it works again.
  ASSERT_TRUE(SetFileAttributesA("C:\\locked.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(CopyFileA("C:\\source.txt", "C:\\locked.txt", FALSE));
  EXPECT_EQ(machine_.ReadFile("locked.txt"), "new bytes");
  EXPECT_TRUE(DeleteFileA("C:\\locked.txt"));
}

}  // namespace
}  // namespace w98::testing
