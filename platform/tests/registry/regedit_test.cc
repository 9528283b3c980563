// The registry editor: the REGEDIT4 text it writes (byte for byte), what it reads, the round
// trip of awkward trees, all-or-nothing imports, command lines as the engine and the DOS-phase
// batch give them, and the program itself.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "regedit_tool.h"
#include "temp_machine.h"
#include "w98/shellapi.h"
#include "w98/winbase.h"
#include "w98/winreg.h"
#include "w98/winuser.h"

extern char** environ;

namespace {

class RegeditTest : public ::testing::Test {
 protected:
  HKEY Create(HKEY root, const char* path) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    return key;
  }
  void Set(HKEY key, const std::string& name, DWORD type, const std::string& data) {
    ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
  }
  int Run(const std::vector<std::string>& args) {
    out_.clear();
    err_.clear();
    return regedit::RunRegedit(args, &out_, &err_);
  }
  std::string Export(const std::string& key) {
    EXPECT_EQ(Run({"/E", "C:\\WINDOWS\\TEMP\\OUT.REG", key}), 0) << err_;
    return machine_.ReadFile("WINDOWS/TEMP/OUT.REG");
  }
  // Runs the regedit program itself (a process of its own); its exit code.
  static int Spawn(std::vector<std::string> args) {
    const std::string program = (w98::testing::BuildBinFolder() / "regedit").string();
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  int Import(const std::string& text, std::vector<std::string> switches = {"/S"}) {
    machine_.WriteFile("WINDOWS/TEMP/IN.REG", text);
    switches.push_back("C:\\WINDOWS\\TEMP\\IN.REG");
    return Run(switches);
  }

  w98::testing::TempMachine machine_;
  std::string out_, err_;
};

TEST_F(RegeditTest, ExportWritesTheWindows98Format) {
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Vendor");
  Set(key, "", REG_SZ, std::string("default value", 14));
  Set(key, "Path", REG_SZ, std::string("C:\\Program Files\\Vendor", 24));
  Set(key, "Quote", REG_SZ, std::string("say \"hi\"", 9));
  Set(key, "Count", REG_DWORD, std::string("\x2a\0\0\0", 4));
  Set(key, "Blob", REG_BINARY, "\x01\x02\xff");
  Set(key, "Empty", REG_BINARY, "");
  Set(key, "Exp", REG_EXPAND_SZ, std::string("%windir%", 9));
  std::string wrap;
  for (int i = 0; i < 50; ++i) wrap += static_cast<char>(i);
  Set(key, "Wrap", REG_BINARY, wrap);
  RegCloseKey(Create(key, "Sub"));
  RegCloseKey(key);
  const std::string expected =
      "REGEDIT4\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\Software\\Vendor]\r\n"
      "@=\"default value\"\r\n"
      "\"Blob\"=hex:01,02,ff\r\n"
      "\"Count\"=dword:0000002a\r\n"
      "\"Empty\"=hex:\r\n"
      "\"Exp\"=hex(2):25,77,69,6e,64,69,72,25,00\r\n"
      "\"Path\"=\"C:\\\\Program Files\\\\Vendor\"\r\n"
      "\"Quote\"=\"say \\\"hi\\\"\"\r\n"
      "\"Wrap\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
      "  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\\\r\n"
      "  2f,30,31\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\Software\\Vendor\\Sub]\r\n"
      "\r\n";
  EXPECT_EQ(Export("hkey_current_user\\software\\VENDOR"), expected);
}

TEST_F(RegeditTest, ExportOfAMissingKeyFailsAndWritesNothing) {
  EXPECT_EQ(Run({"/E", "C:\\WINDOWS\\TEMP\\OUT.REG", "HKEY_CURRENT_USER\\Software\\Nope"}), 1);
  EXPECT_NE(err_.find("does not exist"), std::string::npos) << err_;
  EXPECT_FALSE(std::filesystem::exists(machine_.OnC("WINDOWS/TEMP/OUT.REG")));
}

// Every byte of a tree with awkward names and data survives export, delete and import.
TEST_F(RegeditTest, RoundTripOfAnAwkwardTree) {
  std::mt19937 random(42);
  const std::vector<std::string> key_names = {"Plain",    "With Space", "Quote\"d", "Eq=uals",
                                              "Brack]et", "semi;colon", "UPPER",    "lower x",
                                              "at@sign",  "-dash"};
  const std::vector<std::string> value_names = {"",  "back\\slash", "quo\"te", "eq=ual", " spaced ",
                                                "@", "MiXeD",       "-",       "x=\"y\""};
  const std::vector<std::pair<DWORD, std::string>> data = {
      {REG_SZ, std::string("C:\\dir\\\"q\"\0", 11)},
      {REG_SZ, std::string("two\r\nlines\0", 11)},
      {REG_SZ, std::string("no terminator")},
      {REG_SZ, std::string("in\0side\0", 8)},
      {REG_SZ, std::string("", 0)},
      {REG_DWORD, std::string("\x78\x56\x34\x12", 4)},
      {REG_DWORD, std::string("\x01\x02\x03", 3)},
      {REG_BINARY, std::string()},
      {REG_MULTI_SZ, std::string("a\0bb\0\0", 6)},
      {0x1234, std::string("opaque")},
  };
  HKEY top = Create(HKEY_CURRENT_USER, "Software\\Round");
  for (size_t k = 0; k < key_names.size(); ++k) {
    HKEY key = Create(top, (key_names[k] + "\\" + key_names[(k + 3) % key_names.size()]).c_str());
    for (size_t v = 0; v < value_names.size(); ++v) {
      auto [type, bytes] = data[(k + v) % data.size()];
      if (type == REG_BINARY) {
        bytes.resize(random() % 120);
        for (char& c : bytes) c = static_cast<char>(random());
      }
      if (type == REG_SZ && bytes.empty()) continue;  // REG_SZ always carries its NUL here
      Set(key, value_names[v], type, bytes);
    }
    RegCloseKey(key);
  }
  RegCloseKey(top);
  // Strings that only an import can store: embedded NULs, no terminator.
  ASSERT_EQ(Import("REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Round]\n\"odd\"=hex(1):61,00,62\n"
                   "\"bare\"=hex(1):\n"),
            0)
      << err_;
  const std::string before = Export("HKEY_CURRENT_USER\\Software\\Round");
  EXPECT_NE(before.find("\"bare\"=hex(1):\r\n\"odd\"=hex(1):61,00,62\r\n"), std::string::npos)
      << before;
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Round"), ERROR_SUCCESS);
  ASSERT_EQ(Import(before), 0) << err_;
  EXPECT_EQ(Export("HKEY_CURRENT_USER\\Software\\Round"), before);
  // Spot checks through the Win32 calls: type and bytes as written.
  HKEY key = nullptr;
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Round\\Quote\"d\\semi;colon", 0, KEY_READ, &key),
      ERROR_SUCCESS);
  for (size_t v = 0; v < value_names.size(); ++v) {
    const auto& [type, bytes] = data[(2 + v) % data.size()];
    if (type == REG_BINARY || (type == REG_SZ && bytes.empty())) continue;
    char buf[64] = {};
    DWORD got_type = 0, size = sizeof buf;
    ASSERT_EQ(RegQueryValueExA(key, value_names[v].c_str(), nullptr, &got_type,
                               reinterpret_cast<BYTE*>(buf), &size),
              ERROR_SUCCESS)
        << value_names[v];
    EXPECT_EQ(got_type, type) << value_names[v];
    // RegSetValueExA keeps a REG_SZ up to its first NUL, and the NUL.
    const std::string want = type == REG_SZ ? std::string(bytes.c_str()) + '\0' : bytes;
    EXPECT_EQ(std::string(buf, size), want) << value_names[v];
  }
  RegCloseKey(key);
}

TEST_F(RegeditTest, ReaderAcceptsWhatWindowsWrites) {
  const std::string script =
      "  REGEDIT4\n"
      "; a comment\r"
      "[HKEY_CURRENT_USER\\Software\\Accept\\]\r\n"
      "# another\n"
      "\"With=Equals\"=\"x\"\n"
      "\"Short\"=dword:1\n"
      "\"Multi\"=hex(7):61,00,\\ ; continued\n"
      "   62 , 00,00\n"
      "@=\"d\"\n"
      "[HKEY_CLASSES_ROOT\\.zz]\n"
      "@=\"zzfile\"\n"
      "[HKEY_USERS\\.DEFAULT\\Software\\Accept\\Users]\n"
      "\"gone\"=\"soon\"\n"
      "\"gone\"=-\n"
      "[HKEY_CURRENT_USER\\Software\\Accept\\Drop\\Me]\n"
      "[-HKEY_CURRENT_USER\\Software\\Accept\\Drop]\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Accept]\n"
      "\"last\"=hex:0a";  // no final line end
  ASSERT_EQ(Import(script), 0) << err_;
  EXPECT_EQ(Export("HKEY_CURRENT_USER\\Software\\Accept"),
            "REGEDIT4\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\Accept]\r\n"
            "@=\"d\"\r\n"
            "\"Multi\"=hex(7):61,00,62,00,00\r\n"
            "\"Short\"=dword:00000001\r\n"
            "\"With=Equals\"=\"x\"\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software\\Accept\\Users]\r\n"
            "\r\n");
  EXPECT_EQ(Export("HKEY_CLASSES_ROOT\\.ZZ"),
            "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\.zz]\r\n@=\"zzfile\"\r\n\r\n");
  EXPECT_EQ(Export("HKEY_LOCAL_MACHINE\\Software\\Accept"),
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Accept]\r\n\"last\"=hex:0a\r\n\r\n");
}

TEST_F(RegeditTest, MalformedScriptsImportNothingAndNameTheLine) {
  const std::string head =
      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Bad]\r\n\"first\"=\"1\"\r\n";
  struct Case {
    std::string script;
    int line;
  };
  const Case cases[] = {
      {head + "\"v\"=dword:123456789\r\n", 5},
      {head + "\"v\"=dword:-1\r\n", 5},
      {head + "\"v\"=hex:0g\r\n", 5},
      {head + "\"v\"=hex:123\r\n", 5},
      {head + "\"v\"=hex:01 02\r\n", 5},
      {head + "\"v\"=\"unterminated\r\n", 5},
      {head + "\"v\"=\"x\" trailing\r\n", 5},
      {head + "\"v\"=word:1\r\n", 5},
      {head + "\"v\"\r\n", 5},
      {head + "hello\r\n", 5},
      {head + "[HKEY_NOWHERE\\x]\r\n", 5},
      {head + "[HKEY_CURRENT_USER\\a\\\\b]\r\n", 5},
      {head + "[HKEY_CURRENT_USER\\a\r\n", 5},
      {head + "[HKEY_USERS\\Someone\\x]\r\n", 5},
      {head + "[-HKEY_CURRENT_USER]\r\n", 5},
      {head + "[-HKEY_CURRENT_USER\\x]\r\n\"v\"=\"1\"\r\n", 6},
      {head + "\"v\"=hex:01,\\\r\n", 5},
      {head + "REGEDIT4\r\n", 5},
      {"\"v\"=\"1\"\r\nREGEDIT4\r\n", 1},
      {"REGEDIT5\r\n[HKEY_CURRENT_USER\\x]\r\n", 0},
      {"", 0},
      {"REGEDIT4\r\n\"v\"=\"1\"\r\n", 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Import(c.script), 1) << c.script;
    const std::string want = c.line > 0 ? "line " + std::to_string(c.line) + ":" : "REGEDIT4";
    EXPECT_NE(err_.find(want), std::string::npos) << "expected \"" << want << "\", got " << err_;
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Bad", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND)
        << "a malformed script changed the registry: " << c.script;
  }
  EXPECT_EQ(Run({"/S", "C:\\WINDOWS\\TEMP\\MISSING.REG"}), 1) << "a missing file is an error";
  EXPECT_NE(err_.find("MISSING.REG"), std::string::npos);
}

TEST_F(RegeditTest, CommandLinesOfTheEngineAndTheBootBatch) {
  regedit::Options o;
  std::string why;
  ASSERT_TRUE(regedit::ParseArguments({"/E", "c:\\windows\\zemo\\snapshot\\alltabs.sav", "",
                                       "HKEY_CURRENT_USER\\Software\\Zemo\\Snapshot"},
                                      &o, &why));
  EXPECT_TRUE(o.do_export);
  EXPECT_EQ(o.file, "c:\\windows\\zemo\\snapshot\\alltabs.sav");
  EXPECT_EQ(o.key, "HKEY_CURRENT_USER\\Software\\Zemo\\Snapshot");
  ASSERT_TRUE(regedit::ParseArguments({"/s", "/i", "c:\\x.sav"}, &o, &why));
  EXPECT_TRUE(o.silent);
  EXPECT_FALSE(o.do_export);
  EXPECT_EQ(o.file, "c:\\x.sav");
  ASSERT_TRUE(
      regedit::ParseArguments({"\"/L:C:\\WINDOWS\\system.dat\"", "/r:\"C:\\WINDOWS\\user.dat\"",
                               "\"C:\\STORE\\\\REGWIN.INI\""},
                              &o, &why));
  EXPECT_EQ(o.system_file, "C:\\WINDOWS\\system.dat");
  EXPECT_EQ(o.user_file, "C:\\WINDOWS\\user.dat");
  EXPECT_EQ(o.file, "C:\\STORE\\\\REGWIN.INI");
  ASSERT_TRUE(regedit::ParseArguments({"/E", "f.reg", "HKEY_LOCAL_MACHINE\\Software\\My", "Key"},
                                      &o, &why));
  EXPECT_EQ(o.key, "HKEY_LOCAL_MACHINE\\Software\\My Key");
  EXPECT_FALSE(regedit::ParseArguments({"/E"}, &o, &why));
  EXPECT_FALSE(regedit::ParseArguments({}, &o, &why));
  EXPECT_FALSE(regedit::ParseArguments({"/X", "f.reg"}, &o, &why));
}

// The boot batch imports the registry script straight into the hive files it names.
TEST_F(RegeditTest, RealModeImportGoesIntoTheNamedHiveFiles) {
  // Copies of the hives elsewhere on C:, as a restore would bring back.
  std::filesystem::create_directories(machine_.OnC("OLD"));
  std::filesystem::copy_file(machine_.OnC("WINDOWS/SYSTEM.DAT"), machine_.OnC("OLD/SYSTEM.DAT"));
  std::filesystem::copy_file(machine_.OnC("WINDOWS/USER.DAT"), machine_.OnC("OLD/USER.DAT"));
  const std::string script =
      "REGEDIT4\n\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce]\n"
      "\"Snapshot\"=\"c:\\\\windows\\\\zemo\\\\snapshot\\\\qlreboot.exe /QH\"\n"
      "[HKEY_CURRENT_USER\\Software\\Mark]\n"
      "\"u\"=dword:7\n";
  ASSERT_EQ(Import(script, {"\"/L:C:\\OLD\\system.dat\"", "\"/R:C:\\OLD\\user.dat\""}), 0) << err_;
  EXPECT_NE(out_.find("successfully entered"), std::string::npos) << "not silent without /S";
  // The machine's own hives are untouched; the named files hold the lines of their root.
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Mark", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(Run({"/L:C:\\OLD\\SYSTEM.DAT", "/R:C:\\OLD\\USER.DAT", "/E", "C:\\OUT.REG",
                 "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"}),
            0)
      << err_;
  EXPECT_EQ(machine_.ReadFile("OUT.REG"),
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_"
            "MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce]\r\n"
            "\"Snapshot\"=\"c:\\\\windows\\\\zemo\\\\snapshot\\\\qlreboot.exe /QH\"\r\n\r\n");
  ASSERT_EQ(Run({"/R:C:\\OLD\\USER.DAT", "/E", "C:\\OUT.REG", "HKEY_CURRENT_USER\\Software\\Mark"}),
            0)
      << err_;
  EXPECT_NE(machine_.ReadFile("OUT.REG").find("\"u\"=dword:00000007"), std::string::npos);
  EXPECT_EQ(Import(script, {"/L:C:\\OLD\\NOSUCH.DAT"}), 1);
}

// The program as the engine starts it: export, then a silent import, through the machine.
TEST_F(RegeditTest, ProgramExportsAndImports) {
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Zemo\\Snapshot\\snapshot.ini\\Misc");
  Set(key, "Valid", REG_DWORD, std::string("\1\0\0\0", 4));
  RegCloseKey(key);
  const auto spawn = &RegeditTest::Spawn;
  // The writes of this process reach other programs once flushed (CreateProcessA does that).
  ASSERT_EQ(RegFlushKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
  ASSERT_EQ(spawn({"/E", "c:\\windows\\temp\\alltabs.sav", "", "",
                   "HKEY_CURRENT_USER\\Software\\Zemo\\Snapshot"}),
            0);
  const std::string text = machine_.ReadFile("WINDOWS/TEMP/alltabs.sav");
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Zemo\\Snapshot\\snapshot.ini\\Misc]\r\n"
                      "\"Valid\"=dword:00000001\r\n"),
            std::string::npos)
      << text;
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Zemo"), ERROR_SUCCESS);
  ASSERT_EQ(RegFlushKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
  ASSERT_EQ(spawn({"/S", "/I", "c:\\windows\\temp\\alltabs.sav"}), 0);
  // The import of the other process is seen here at once after it ended (it flushed).
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Zemo\\Snapshot\\snapshot.ini\\Misc", 0,
                          KEY_READ, &key),
            ERROR_SUCCESS);
  RegCloseKey(key);
  machine_.WriteFile("WINDOWS/TEMP/bad.reg", "REGEDIT4\r\nnonsense\r\n");
  EXPECT_EQ(spawn({"/S", "c:\\windows\\temp\\bad.reg"}), 1);
}

// The program reads only the exported key from the hive file (it has not loaded the hive):
// what it writes is what this process, which has the whole hive loaded, writes. Neighbours
// whose names start with the key's name stay out, and key lines carry the stored spelling,
// below HKEY_USERS\.DEFAULT too.
TEST_F(RegeditTest, ProgramExportOfOneKeyMatchesTheLoadedHive) {
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\MixedCase\\Vendor\\Sub");
  Set(key, "deep", REG_SZ, std::string("below", 6));
  RegCloseKey(key);
  key = Create(HKEY_CURRENT_USER, "SOFTWARE\\MIXEDCASE\\VENDOR");
  Set(key, "", REG_SZ, std::string("default", 8));
  Set(key, "Count", REG_DWORD, std::string("\x2a\0\0\0", 4));
  RegCloseKey(key);
  // Names that sort right before and after "VENDOR\": in a range scan they would come along.
  for (const char* neighbour :
       {"Software\\MixedCase\\Vendor!", "Software\\MixedCase\\Vendor Two\\X",
        "Software\\MixedCase\\VendorX\\Deep", "Software\\MixedCase\\Vendor[1]"}) {
    key = Create(HKEY_CURRENT_USER, neighbour);
    Set(key, "stray", REG_DWORD, std::string("\1\0\0\0", 4));
    RegCloseKey(key);
  }
  ASSERT_EQ(RegFlushKey(HKEY_CURRENT_USER), ERROR_SUCCESS);

  const std::string expected =
      "REGEDIT4\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\MixedCase\\Vendor]\r\n"
      "@=\"default\"\r\n"
      "\"Count\"=dword:0000002a\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\MixedCase\\Vendor\\Sub]\r\n"
      "\"deep\"=\"below\"\r\n\r\n";
  EXPECT_EQ(Export("HKEY_CURRENT_USER\\software\\mixedcase\\vendor"), expected);
  ASSERT_EQ(Spawn({"/E", "c:\\windows\\temp\\vendor.reg",
                   "HKEY_CURRENT_USER\\software\\mixedcase\\vendor"}),
            0);
  EXPECT_EQ(machine_.ReadFile("WINDOWS/TEMP/vendor.reg"), expected);

  std::string users = expected;
  for (size_t at = 0; (at = users.find("HKEY_CURRENT_USER", at)) != std::string::npos;)
    users.replace(at, 17, "HKEY_USERS\\.DEFAULT");
  EXPECT_EQ(Export("HKEY_USERS\\.default\\SOFTWARE\\MIXEDCASE\\Vendor"), users);
  ASSERT_EQ(Spawn({"/E", "c:\\windows\\temp\\users.reg",
                   "HKEY_USERS\\.DEFAULT\\Software\\mixedcase\\Vendor"}),
            0);
  EXPECT_EQ(machine_.ReadFile("WINDOWS/TEMP/users.reg"), users);

  // A key the file lacks is no export, from the file as from the loaded hive.
  EXPECT_EQ(
      Spawn({"/E", "c:\\windows\\temp\\none.reg", "HKEY_CURRENT_USER\\Software\\MixedCase\\Vendo"}),
      1);
  EXPECT_FALSE(std::filesystem::exists(machine_.OnC("WINDOWS/TEMP/none.reg")));
}

// The engine starts the editor through the shell with unquoted parameters and three blanks
// before the key, waits for it, and reads nothing but the file; writes made just before are in
// the export because starting a program flushes the registry first.
TEST_F(RegeditTest, StartedThroughTheShellAsTheEngineDoes) {
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Zemo\\Snapshot\\cref.tab\\Index");
  Set(key, "IndexCount", REG_DWORD, std::string("\3\0\0\0", 4));
  RegCloseKey(key);
  auto run = [](const char* parameters) -> DWORD {
    SHELLEXECUTEINFOA info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = "open";
    info.lpFile = "regedit.exe";
    info.lpParameters = parameters;
    info.nShow = SW_HIDE;
    if (!ShellExecuteExA(&info)) return 1000 + GetLastError();
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    return code;
  };
  ASSERT_EQ(
      run("/E c:\\windows\\temp\\cref.sav   HKEY_CURRENT_USER\\Software\\Zemo\\Snapshot\\cref.tab"),
      0u);
  EXPECT_EQ(machine_.ReadFile("WINDOWS/TEMP/cref.sav"),
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Zemo\\Snapshot\\cref.tab]\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\Zemo\\Snapshot\\cref.tab\\Index]\r\n"
            "\"IndexCount\"=dword:00000003\r\n\r\n");
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Zemo\\Snapshot\\cref.tab"), ERROR_SUCCESS);
  ASSERT_EQ(run("/S /I c:\\windows\\temp\\cref.sav"), 0u);
  DWORD count = 0, size = 4;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Zemo\\Snapshot\\cref.tab\\Index", 0,
                          KEY_READ, &key),
            ERROR_SUCCESS);
  EXPECT_EQ(
      RegQueryValueExA(key, "IndexCount", nullptr, nullptr, reinterpret_cast<BYTE*>(&count), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(count, 3u);
  RegCloseKey(key);
}

}  // namespace
