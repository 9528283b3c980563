// Creating a blank machine folder.
#include <filesystem>
#include <fstream>

#include "core/machine.h"
#include "registry/hive_init.h"
#include "w98/machine.h"

namespace w98 {
namespace {

bool WriteHostFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace

bool CreateMachine(const std::string& folder, const MachineOptions& options, std::string* error) {
  namespace fs = std::filesystem;
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  std::error_code ec;
  const fs::path root(folder);
  if (fs::exists(root / "machine.ini")) return fail(folder + " already holds a machine");
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
      "[host]\r\nbin=" + options.host_bin + "\r\n";
  if (!WriteHostFile(root / "machine.ini", ini)) return fail("cannot write machine.ini");
  if (!internal::CreateHives(root, error)) return false;
  return true;
}

}  // namespace w98
