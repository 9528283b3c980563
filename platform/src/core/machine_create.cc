// Creating a blank Windows 98 machine folder: machine.ini, the drive folders, drive C: with
// its start-up files, the Windows folder with its settings files, versioned system files and
// the stubs of the machine's own programs, and the registry hives.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "core/machine.h"
#include "fs/dos_attributes.h"
#include "registry/hive_init.h"
#include "time/time_zone.h"
#include "version/pe_writer.h"
#include "w98/machine.h"
#include "w98/winbase.h"

namespace w98 {
namespace {

namespace fs = std::filesystem;

// The last-write time of the files that came with Windows 98: 1998-05-11 20:01 local time.
constexpr std::int64_t kReleaseLocal = 894916860;

constexpr DWORD kArchive = FILE_ATTRIBUTE_ARCHIVE;
constexpr DWORD kHiddenSystemReadOnly =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

struct InitFile {
  const char* path;  // below the drive C: folder
  std::string bytes;
  DWORD attributes;
  bool shipped;  // a file of the Windows 98 release: dated as released, not "now"
};

const char kAutoexecBat[] =
    "@ECHO OFF\r\n"
    "SET TEMP=C:\\WINDOWS\\TEMP\r\n"
    "SET TMP=C:\\WINDOWS\\TEMP\r\n"
    "SET PATH=C:\\WINDOWS;C:\\WINDOWS\\COMMAND\r\n";

const char kConfigSys[] =
    "DOS=HIGH,UMB\r\n"
    "FILES=40\r\n"
    "BUFFERS=30\r\n";

// MSDOS.SYS must stay longer than 1,024 bytes: its closing comment and the x lines pad it.
std::string MsdosSys() {
  std::string text =
      "[Paths]\r\n"
      "WinDir=C:\\WINDOWS\r\n"
      "WinBootDir=C:\\WINDOWS\r\n"
      "HostWinBootDrv=C\r\n"
      "\r\n"
      "[Options]\r\n"
      "BootMulti=1\r\n"
      "BootGUI=1\r\n"
      "DoubleBuffer=1\r\n"
      "AutoScan=1\r\n"
      "WinVer=4.10.1998\r\n"
      ";\r\n"
      ";The following lines are required for compatibility with other programs.\r\n"
      ";Do not remove them (MSDOS.SYS needs to be >1024 bytes).\r\n";
  for (char tag = 'a'; tag <= 's'; ++tag) text += ";" + std::string(69, 'x') + tag + "\r\n";
  return text;
}

const char kSystemIni[] =
    "[boot]\r\n"
    "shell=Explorer.exe\r\n"
    "system.drv=system.drv\r\n"
    "drivers=mmsystem.dll power.drv\r\n"
    "user.exe=user.exe\r\n"
    "gdi.exe=gdi.exe\r\n"
    "\r\n"
    "[boot.description]\r\n"
    "system.drv=Standard PC\r\n"
    "keyboard.typ=Standard 101/102-Key or Microsoft Natural Keyboard\r\n"
    "\r\n"
    "[386Enh]\r\n"
    "ebios=*ebios\r\n"
    "woafont=dosapp.fon\r\n"
    "\r\n"
    "[drivers]\r\n"
    "wave=mmdrv.dll\r\n"
    "timer=timer.drv\r\n";

const char kWinIni[] =
    "[windows]\r\n"
    "load=\r\n"
    "run=\r\n"
    "NullPort=None\r\n"
    "device=\r\n"
    "\r\n"
    "[Desktop]\r\n"
    "Wallpaper=(None)\r\n"
    "TileWallpaper=1\r\n"
    "WallpaperStyle=0\r\n"
    "\r\n"
    "[intl]\r\n"
    "iCountry=1\r\n"
    "sShortDate=M/d/yy\r\n"
    "sTimeFormat=h:mm:ss tt\r\n"
    "\r\n"
    "[fonts]\r\n"
    "\r\n"
    "[extensions]\r\n"
    "txt=notepad.exe ^.txt\r\n";

struct SystemFile {
  const char* name;
  internal::ExecutableKind kind;
  std::array<std::uint16_t, 4> version;
  const char* description;
  bool dll;
};

// Versioned system files of C:\WINDOWS\SYSTEM: 32-bit libraries and the 16-bit core.
const SystemFile kSystemFiles[] = {
    {"KERNEL32.DLL",
     internal::ExecutableKind::kPe32,
     {4, 10, 0, 1998},
     "Win32 Kernel core component",
     true},
    {"USER32.DLL",
     internal::ExecutableKind::kPe32,
     {4, 10, 0, 1998},
     "Win32 USER API Client DLL",
     true},
    {"GDI32.DLL", internal::ExecutableKind::kPe32, {4, 10, 0, 1998}, "GDI Client DLL", true},
    {"ADVAPI32.DLL", internal::ExecutableKind::kPe32, {4, 80, 0, 1675}, "Advanced Win32 API", true},
    {"SHELL32.DLL",
     internal::ExecutableKind::kPe32,
     {4, 72, 3110, 1},
     "Windows Shell Common Dll",
     true},
    {"COMCTL32.DLL",
     internal::ExecutableKind::kPe32,
     {4, 72, 3110, 1},
     "Common Controls Library",
     true},
    {"KRNL386.EXE", internal::ExecutableKind::kNe, {4, 10, 0, 1998}, "Windows Kernel core", false},
    {"USER.EXE", internal::ExecutableKind::kNe, {4, 10, 0, 1998}, "Windows User library", false},
    {"GDI.EXE", internal::ExecutableKind::kNe, {4, 10, 0, 1998}, "Windows GDI library", false},
};

std::string SystemFileBytes(const SystemFile& file) {
  internal::VersionSpec wanted;
  wanted.file_version = file.version;
  wanted.product_version = {4, 10, 0, 1998};
  wanted.dll = file.dll;
  const std::string name = file.name;
  const std::string module = name.substr(0, name.find('.'));
  // Windows 98 writes its own version texts with three parts ("4.10.1998").
  const std::string version = file.version[2] == 0 ? std::to_string(file.version[0]) + "." +
                                                         std::to_string(file.version[1]) + "." +
                                                         std::to_string(file.version[3])
                                                   : internal::VersionText(file.version);
  wanted.strings = {{"CompanyName", "Microsoft Corporation"},
                    {"FileDescription", file.description},
                    {"FileVersion", version},
                    {"InternalName", module},
                    {"LegalCopyright", "Copyright (C) Microsoft Corp. 1981-1998"},
                    {"OriginalFilename", name},
                    {"ProductName", "Microsoft(R) Windows(R) Operating System"},
                    {"ProductVersion", "4.10.1998"}};
  return internal::BuildExecutable(file.kind, wanted, module);
}

// The programs of the machine: the DOS path of each stub and the host program it names.
struct Program {
  const char* path;
  const char* host;
};
const Program kPrograms[] = {
    {"COMMAND.COM", "command"},
    {"WINDOWS/COMMAND.COM", "command"},
    {"WINDOWS/COMMAND/ATTRIB.COM", "attrib"},
    {"WINDOWS/REGEDIT.EXE", "regedit"},
    {"WINDOWS/SMARTDRV.EXE", "smartdrv"},
    // The Date/Time applet, however it is started: directly, by the Control Panel, or as
    // "rundll32.exe shell32.dll,Control_RunDLL timedate.cpl".
    {"WINDOWS/SYSTEM/TIMEDATE.CPL", "timedate"},
    {"WINDOWS/CONTROL.EXE", "timedate"},
    {"WINDOWS/RUNDLL32.EXE", "timedate"},
};

bool WriteHostFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// DOS attributes in the file's attribute record (the machine is not selected yet, so the
// record is written by host path).
bool SetDosAttributes(const fs::path& path, DWORD bits) {
  const std::string value = internal::EncodeDosAttributes(bits);
  return ::setxattr(path.c_str(), internal::kDosAttributeName, value.data(), value.size(), 0) == 0;
}

bool SetWriteTime(const fs::path& path, std::int64_t utc) {
  timespec times[2] = {{utc, 0}, {utc, 0}};
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace

bool CreateMachine(const std::string& folder, const MachineOptions& options, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  std::error_code ec;
  const fs::path root(folder);
  if (fs::exists(root / "machine.ini")) return fail(folder + " already holds a machine");
  if (fs::exists(root) && !fs::is_directory(root)) return fail(folder + " is not a folder");
  if (fs::exists(root) && !fs::is_empty(root, ec)) return fail(folder + " is not empty");
  for (const char* dir : {"a", "c", "d", "run", "c/WINDOWS", "c/WINDOWS/SYSTEM",
                          "c/WINDOWS/COMMAND", "c/WINDOWS/TEMP"}) {
    fs::create_directories(root / dir, ec);
    if (ec) return fail("cannot create " + (root / dir).string() + ": " + ec.message());
  }
  const std::string ini =
      "[machine]\r\nversion=1\r\nwindir=C:\\WINDOWS\r\n"
      "[clock]\r\noffset=0\r\ntimezone=\r\n"
      "[drives]\r\nA=removable\r\nC=fixed\r\nD=cdrom\r\n"
      "[capacity]\r\nC=0\r\n"
      "[host]\r\nbin=" +
      options.host_bin + "\r\n";
  if (!WriteHostFile(root / "machine.ini", ini)) return fail("cannot write machine.ini");

  std::vector<InitFile> files = {
      {"AUTOEXEC.BAT", kAutoexecBat, kArchive, false},
      {"CONFIG.SYS", kConfigSys, kArchive, false},
      {"MSDOS.SYS", MsdosSys(), kHiddenSystemReadOnly, false},
      {"WINDOWS/SYSTEM.INI", kSystemIni, kArchive, false},
      {"WINDOWS/WIN.INI", kWinIni, kArchive, false},
  };
  std::vector<std::string> paths;  // keeps the c_str() of the names below alive
  paths.reserve(std::size(kSystemFiles));
  for (const SystemFile& file : kSystemFiles) {
    paths.push_back(std::string("WINDOWS/SYSTEM/") + file.name);
    files.push_back({paths.back().c_str(), SystemFileBytes(file), kArchive, true});
  }
  for (const Program& program : kPrograms)
    files.push_back({program.path, internal::ProgramStubBytes(program.host), kArchive, true});

  // The release date in the machine's zone (the host's: a new machine names none).
  const std::int64_t released = internal::FindTimeZone("")->ToUtc(kReleaseLocal, -1);
  for (const InitFile& file : files) {
    const fs::path path = root / "c" / file.path;
    if (!WriteHostFile(path, file.bytes)) return fail("cannot write " + path.string());
    if (file.shipped && !SetWriteTime(path, released)) return fail("cannot date " + path.string());
    if (!SetDosAttributes(path, file.attributes))
      return fail("cannot set the attributes of " + path.string() +
                  " (the file system must support user extended attributes)");
  }
  if (!internal::CreateHives(root, error)) return false;
  return true;
}

}  // namespace w98
