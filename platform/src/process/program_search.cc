#include "process/program_search.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "core/machine.h"
#include "core/path.h"
#include "core/text.h"
#include "process/process_info.h"
#include "w98/machine.h"
#include "w98/winerror.h"

namespace w98::internal {
namespace {

bool IsFile(const std::string& dos) {
  HostPath resolved;
  if (ResolveDosPath(dos, resolved) != ERROR_SUCCESS || !resolved.exists || resolved.is_directory)
    return false;
  return true;
}

std::string FolderOf(const std::string& dos) {
  const size_t slash = dos.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : dos.substr(0, slash);
}

bool HasFolder(const std::string& name) {
  return name.find_first_of("\\/:") != std::string::npos;
}

bool HasExtension(const std::string& name) {
  const size_t slash = name.find_last_of("\\/:");
  const size_t dot = name.rfind('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

std::string Join(const std::string& folder, const std::string& name) {
  if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) return folder + name;
  return folder + "\\" + name;
}

// What the stub at `dos` names; fills the image.
DWORD Load(const std::string& dos, ProgramImage* image) {
  HostPath resolved;
  ResolveDosPath(dos, resolved);
  image->dos_path = resolved.dos.empty() ? dos : resolved.dos;
  const std::string upper = UpperCase(image->dos_path);
  if (upper.size() > 4 && upper.compare(upper.size() - 4, 4, ".BAT") == 0) {
    image->batch = true;
    image->host_program.clear();
    return ERROR_SUCCESS;
  }
  image->batch = false;
  std::string host = w98::ReadProgramStub(dos);
  if (host.empty()) return ERROR_BAD_EXE_FORMAT;
  if (host[0] != '/') host = (std::filesystem::path(w98::HostProgramFolder()) / host).string();
  if (::access(host.c_str(), X_OK) != 0) return ERROR_BAD_EXE_FORMAT;
  image->host_program = host;
  return ERROR_SUCCESS;
}

}  // namespace

DWORD FindProgram(const std::string& name, ProgramImage* image) {
  auto machine = Machine::Current();
  if (name.empty() || !machine) return ERROR_FILE_NOT_FOUND;
  std::vector<std::string> folders;
  if (HasFolder(name)) {
    folders.emplace_back();
  } else {
    const std::string own = OwnProgramDosPath();
    if (!own.empty()) folders.push_back(FolderOf(own));
    folders.push_back(CurrentFolder());
    const std::string windows = machine->WindowsFolder();
    folders.push_back(windows + "\\SYSTEM");
    folders.push_back(windows);
    folders.push_back(windows + "\\COMMAND");
  }
  std::vector<std::string> names;
  if (HasExtension(name)) {
    names.push_back(name);
  } else {
    for (const char* extension : {".EXE", ".COM", ".BAT"}) names.push_back(name + extension);
  }
  for (const auto& folder : folders) {
    for (const auto& candidate : names) {
      const std::string dos = folder.empty() ? candidate : Join(folder, candidate);
      if (IsFile(dos)) return Load(dos, image);
    }
  }
  return ERROR_FILE_NOT_FOUND;
}

DWORD FindCommandInterpreter(ProgramImage* image) {
  auto machine = Machine::Current();
  if (!machine) return ERROR_FILE_NOT_FOUND;
  for (const std::string& dos :
       {std::string("C:\\COMMAND.COM"), machine->WindowsFolder() + "\\COMMAND.COM"})
    if (IsFile(dos)) return Load(dos, image);
  return ERROR_FILE_NOT_FOUND;
}

}  // namespace w98::internal
