#include "core/path.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "fs/folder_listing.h"
#include "temp_machine.h"
#include "w98/winerror.h"

namespace w98::internal {
namespace {

TEST(DosPath, ParsesAndFoldsDotsWithoutClimbingAboveTheRoot) {
  struct Case {
    const char* text;
    DWORD error;
    const char* expected;
  } cases[] = {
      {"C:\\WINDOWS\\WIN.INI", ERROR_SUCCESS, "C:\\WINDOWS\\WIN.INI"},
      {"c:/windows/./system/../win.ini", ERROR_SUCCESS, "C:\\windows\\win.ini"},
      {"C:\\..\\..\\etc\\passwd", ERROR_SUCCESS, "C:\\etc\\passwd"},
      {"a:\\", ERROR_SUCCESS, "A:\\"},
      {"C:\\bad|name", ERROR_INVALID_NAME, ""},
      {"C:\\what?", ERROR_INVALID_NAME, ""},
      {"", ERROR_PATH_NOT_FOUND, ""},
      {"1:\\x", ERROR_PATH_NOT_FOUND, ""},
  };
  for (const Case& c : cases) {
    DosPath path;
    EXPECT_EQ(ParseDosPath(c.text, path), c.error) << c.text;
    if (c.error == ERROR_SUCCESS) {
      EXPECT_EQ(path.ToString(), c.expected) << c.text;
      EXPECT_EQ(path.TextLength(), path.ToString().size()) << c.text;
    }
  }
  // A path is refused from MAX_PATH characters on, counted as it is written out.
  DosPath path;
  const std::string longest = "C:\\" + std::string(200, 'a') + "\\" + std::string(55, 'b');
  ASSERT_EQ(longest.size(), static_cast<size_t>(MAX_PATH - 1));
  EXPECT_EQ(ParseDosPath(longest, path), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(ParseDosPath(longest + "b", path), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
  EXPECT_EQ(ParseDosPath(longest + "\\.\\", path), static_cast<DWORD>(ERROR_SUCCESS));
}

TEST(DosPath, ResolvesCaseInsensitivelyInsideTheMachineOnly) {
  w98::testing::TempMachine machine;
  machine.WriteFile("WINDOWS/Odd.Ini", "x");
  HostPath found;
  ASSERT_EQ(ResolveDosPath("c:\\windows\\ODD.INI", found), ERROR_SUCCESS);
  EXPECT_TRUE(found.exists);
  EXPECT_EQ(found.dos, "C:\\WINDOWS\\Odd.Ini");
  EXPECT_EQ(found.host, machine.OnC("WINDOWS/Odd.Ini"));

  ASSERT_EQ(ResolveDosPath("C:\\WINDOWS\\NEW.TXT", found), ERROR_SUCCESS);
  EXPECT_FALSE(found.exists);
  EXPECT_EQ(ResolveDosPath("C:\\NOPE\\NEW.TXT", found), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(ResolveDosPath("Q:\\x", found), ERROR_PATH_NOT_FOUND);

  std::filesystem::create_directory_symlink("/etc", machine.OnC("out"));
  EXPECT_NE(ResolveDosPath("C:\\out\\passwd", found), ERROR_SUCCESS);
  ASSERT_EQ(ResolveDosPath("C:\\..\\..\\..\\etc", found), ERROR_SUCCESS);
  EXPECT_EQ(found.host, machine.OnC("etc"));
  EXPECT_FALSE(found.exists);
}

// Folders given in another case than the disk's are resolved in the spelling found before as
// long as it holds, and follow the disk when it changes: renamed, made again in another case,
// gone, or swapped for a link.
TEST(DosPath, FoldersInAnotherCaseFollowTheDiskAsItChanges) {
  namespace fs = std::filesystem;
  w98::testing::TempMachine machine;
  machine.WriteFile("WINDOWS/Mixed/Sub/a.txt", "a");
  HostPath found;
  for (int pass = 0; pass < 2; ++pass) {  // the walk, then the spelling it found
    ASSERT_EQ(ResolveDosPath("c:\\windows\\mixed\\sub\\A.TXT", found), ERROR_SUCCESS);
    EXPECT_TRUE(found.exists);
    EXPECT_EQ(found.dos, "C:\\WINDOWS\\Mixed\\Sub\\a.txt");
    EXPECT_EQ(found.host, machine.OnC("WINDOWS/Mixed/Sub/a.txt"));
  }

  fs::rename(machine.OnC("WINDOWS/Mixed"), machine.OnC("WINDOWS/Gone"));
  machine.WriteFile("WINDOWS/MIXED/SUB/b.txt", "b");
  ASSERT_EQ(ResolveDosPath("c:\\windows\\mixed\\sub\\a.txt", found), ERROR_SUCCESS);
  EXPECT_FALSE(found.exists);
  EXPECT_EQ(found.dos, "C:\\WINDOWS\\MIXED\\SUB\\a.txt");
  ASSERT_EQ(ResolveDosPath("c:\\windows\\mixed\\sub\\b.txt", found), ERROR_SUCCESS);
  EXPECT_TRUE(found.exists);
  EXPECT_EQ(found.host, machine.OnC("WINDOWS/MIXED/SUB/b.txt"));

  // Swapped for a link to a folder of the same shape outside the drive: refused.
  fs::rename(machine.OnC("WINDOWS/MIXED"), machine.OnC("WINDOWS/Old"));
  fs::create_directory_symlink(machine.OnC("WINDOWS/Old"), machine.OnC("WINDOWS/MIXED"));
  EXPECT_NE(ResolveDosPath("c:\\windows\\mixed\\sub\\b.txt", found), ERROR_SUCCESS);
  fs::remove(machine.OnC("WINDOWS/MIXED"));
  EXPECT_EQ(ResolveDosPath("c:\\windows\\mixed\\sub\\b.txt", found), ERROR_PATH_NOT_FOUND);
}

// A path's folder, once resolved, is reused by later resolutions only while every folder on its
// way stays as it was: whatever happens to a folder at any depth (renamed, deleted and made
// again, replaced by a rename over it, swapped for a link), the next resolution follows the disk.
TEST(DosPath, ResolvedFoldersFollowEveryChangeOnTheirWay) {
  namespace fs = std::filesystem;
  w98::testing::TempMachine machine;
  const auto inode = [](const fs::path& host) {
    struct stat st {};
    return ::stat(host.c_str(), &st) == 0 ? st.st_ino : 0;
  };
  // The file the path leads to now, as its inode (0: missing).
  const auto leads_to = [](const char* dos) -> ino_t {
    Location where;
    if (LocateDosPath(dos, where) != ERROR_SUCCESS || !where.exists) return 0;
    return where.st.st_ino;
  };
  const char* const path = "C:\\A\\B\\C\\f.txt";
  machine.WriteFile("A/B/C/f.txt", "first");
  for (int pass = 0; pass < 3; ++pass) EXPECT_EQ(leads_to(path), inode(machine.OnC("A/B/C/f.txt")));

  // A folder in the middle renamed, and another made in its place.
  fs::rename(machine.OnC("A/B"), machine.OnC("A/B.old"));
  EXPECT_EQ(leads_to(path), 0u);
  machine.WriteFile("A/B/C/f.txt", "second");
  EXPECT_EQ(leads_to(path), inode(machine.OnC("A/B/C/f.txt")));
  EXPECT_EQ(leads_to(path), inode(machine.OnC("A/B/C/f.txt")));

  // The last folder replaced by a folder from elsewhere renamed over it.
  machine.WriteFile("Elsewhere/X/f.txt", "third");
  fs::remove(machine.OnC("A/B/C/f.txt"));
  fs::rename(machine.OnC("Elsewhere/X"), machine.OnC("A/B/C"));
  EXPECT_EQ(leads_to(path), inode(machine.OnC("A/B/C/f.txt")));

  // The last folder moved aside, still holding its names, and another put in its place: the
  // path leads into the new folder, where the old one's names are not.
  const char* const old_only = "C:\\A\\B\\C\\only-old.txt";
  machine.WriteFile("A/B/C/only-old.txt", "old");
  EXPECT_NE(leads_to(old_only), 0u);
  machine.WriteFile("Elsewhere/Y/f.txt", "third again");
  fs::rename(machine.OnC("A/B/C"), machine.OnC("A/B/C.aside"));
  fs::rename(machine.OnC("Elsewhere/Y"), machine.OnC("A/B/C"));
  EXPECT_EQ(leads_to(old_only), 0u);
  EXPECT_EQ(leads_to(path), inode(machine.OnC("A/B/C/f.txt")));
  {
    Location where;
    ASSERT_EQ(LocateDosPath(path, where), ERROR_SUCCESS);
    EXPECT_EQ(where.folder_id.ino, inode(machine.OnC("A/B/C")));
  }

  // The top folder deleted with everything in it, and made again.
  fs::remove_all(machine.OnC("A"));
  EXPECT_EQ(leads_to(path), 0u);
  machine.WriteFile("A/B/C/f.txt", "fourth");
  EXPECT_EQ(leads_to(path), inode(machine.OnC("A/B/C/f.txt")));

  // A folder on the way moved aside and a link to it put in its place: refused.
  fs::rename(machine.OnC("A/B"), machine.OnC("A/Moved"));
  fs::create_directory_symlink(machine.OnC("A/Moved"), machine.OnC("A/B"));
  Location where;
  EXPECT_EQ(LocateDosPath(path, where), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  // Files made and removed beside the path change nothing of where it leads.
  fs::remove(machine.OnC("A/B"));
  fs::rename(machine.OnC("A/Moved"), machine.OnC("A/B"));
  EXPECT_EQ(leads_to(path), inode(machine.OnC("A/B/C/f.txt")));
  machine.WriteFile("A/B/other.txt", "x");
  fs::remove(machine.OnC("A/B/other.txt"));
  EXPECT_EQ(leads_to(path), inode(machine.OnC("A/B/C/f.txt")));
}

// Path resolution and folder listings share one queue of change notifications: the host
// allows a user only a few queues (128 by default), and every program of the machine needs one.
TEST(DosPath, ResolvingAndListingShareOneNotificationQueue) {
  namespace fs = std::filesystem;
  w98::testing::TempMachine machine;
  const auto queues = [] {
    int count = 0;
    for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
      std::error_code ec;
      if (fs::read_symlink(e.path(), ec).string() == "anon_inode:inotify") ++count;
    }
    return count;
  };
  for (int i = 0; i < 5; ++i) machine.WriteFile("Q/F" + std::to_string(i) + "/a.txt", "a");
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < 5; ++i) {
      const std::string folder = "C:\\Q\\F" + std::to_string(i);
      Location where;
      ASSERT_EQ(LocateDosPath(folder + "\\a.txt", where), ERROR_SUCCESS);
      EXPECT_TRUE(where.exists);
      EXPECT_EQ(LocateDosPath(folder + "\\missing.txt", where), ERROR_SUCCESS);
      EXPECT_FALSE(where.exists);
    }
  }
  EXPECT_EQ(queues(), 1);
}

// What is known of folder listings is bounded and its oldest folders are forgotten; a folder
// forgotten there stays watched for the paths through it.
TEST(DosPath, AKeptFolderFollowsChangesAfterManyFoldersWereListed) {
  namespace fs = std::filesystem;
  w98::testing::TempMachine machine;
  const auto leads_to = [](const std::string& dos) -> ino_t {
    Location where;
    if (LocateDosPath(dos, where) != ERROR_SUCCESS || !where.exists) return 0;
    return where.st.st_ino;
  };
  const auto inode = [](const fs::path& host) {
    struct stat st {};
    return ::stat(host.c_str(), &st) == 0 ? st.st_ino : 0;
  };
  machine.WriteFile("KEPT/SUB/f.txt", "first");
  const std::string path = "C:\\KEPT\\SUB\\f.txt";
  ASSERT_EQ(leads_to(path), inode(machine.OnC("KEPT/SUB/f.txt")));
  // Names looked for in the folders on the way: their listings are known, then forgotten.
  EXPECT_EQ(leads_to("C:\\NOTHERE.TXT"), 0u);
  EXPECT_EQ(leads_to("C:\\KEPT\\NOTHERE.TXT"), 0u);
  for (int i = 0; i < 700; ++i) {
    const fs::path folder = machine.OnC("MANY/F" + std::to_string(i));
    fs::create_directories(folder);
    UniqueFd fd(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    DWORD error = ERROR_SUCCESS;
    EXPECT_NE(ListFolder(fd.get(), &error), nullptr);
  }
  ASSERT_EQ(leads_to(path), inode(machine.OnC("KEPT/SUB/f.txt")));

  fs::rename(machine.OnC("KEPT/SUB"), machine.OnC("KEPT/ASIDE"));
  machine.WriteFile("KEPT/SUB/f.txt", "second");
  EXPECT_EQ(leads_to(path), inode(machine.OnC("KEPT/SUB/f.txt")));
  EXPECT_NE(leads_to(path), inode(machine.OnC("KEPT/ASIDE/f.txt")));
}

// Resolving paths in many folders keeps only a bounded number of them open: a process may have
// as few as 1,024 descriptors, and they are the program's.
TEST(DosPath, ResolvingPathsInManyFoldersKeepsFewOpen) {
  namespace fs = std::filesystem;
  w98::testing::TempMachine machine;
  const auto open_descriptors = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
  };
  for (int i = 0; i < 300; ++i) machine.WriteFile("MANY/F" + std::to_string(i) + "/a.txt", "a");
  const auto before = open_descriptors();
  for (int i = 0; i < 300; ++i) {
    HostPath found;
    ASSERT_EQ(ResolveDosPath("C:\\MANY\\F" + std::to_string(i) + "\\a.txt", found), ERROR_SUCCESS);
    EXPECT_TRUE(found.exists);
  }
  EXPECT_LE(open_descriptors() - before, 100);
}

}  // namespace
}  // namespace w98::internal
