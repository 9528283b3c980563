// The public machine helpers of <w98/machine.h>.
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "core/machine.h"
#include "core/path.h"
#include "w98/machine.h"

namespace w98 {
namespace {

constexpr const char* kStubMagic = "W98STUB";

}  // namespace

namespace internal {

std::string ProgramStubBytes(const std::string& hostProgram) {
  return std::string(kStubMagic) + "\r\n" + hostProgram + "\r\n";
}

}  // namespace internal

bool SelectMachine(const std::string& folder) {
  return internal::SelectMachineFolder(folder);
}

std::string MachineFolder() {
  auto machine = internal::Machine::Current();
  return machine ? machine->Root().string() : std::string();
}

bool IsMachineFolder(const std::string& folder) {
  struct stat st {};
  return !folder.empty() &&
         ::stat((std::filesystem::path(folder) / "machine.ini").c_str(), &st) == 0 &&
         S_ISREG(st.st_mode);
}

std::string HostPathOf(const std::string& dosPath) {
  internal::HostPath resolved;
  if (internal::ResolveDosPath(dosPath, resolved) != 0) return {};
  return resolved.host.string();
}

std::string HostProgramFolder() {
  auto machine = internal::Machine::Current();
  return machine ? machine->Setting("host", "bin") : std::string();
}

bool WriteProgramStub(const std::string& dosPath, const std::string& hostProgram) {
  const std::string host = HostPathOf(dosPath);
  if (host.empty()) return false;
  std::ofstream out(host, std::ios::binary | std::ios::trunc);
  out << internal::ProgramStubBytes(hostProgram);
  return static_cast<bool>(out);
}

std::string ReadProgramStub(const std::string& dosPath) {
  const std::string host = HostPathOf(dosPath);
  if (host.empty()) return {};
  std::ifstream in(host, std::ios::binary);
  std::string magic, program;
  std::getline(in, magic);
  std::getline(in, program);
  if (!magic.empty() && magic.back() == '\r') magic.pop_back();
  if (!program.empty() && program.back() == '\r') program.pop_back();
  if (magic != kStubMagic || program.empty()) return {};
  return program;
}

}  // namespace w98
