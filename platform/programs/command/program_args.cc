#include "program_args.h"

#include <string_view>

#include "dos_files.h"
#include "invocation.h"
#include "w98/windows.h"

namespace dos {
namespace {

bool StartedAsMachineProgram() {
  char path[MAX_PATH * 4] = "";
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  return n > 2 && n < sizeof path && path[1] == ':';
}

}  // namespace

std::string CommandTail(const std::vector<std::string>& host_args) {
  if (StartedAsMachineProgram()) {
    const char* line = GetCommandLineA();
    const std::string_view text = line != nullptr ? line : "";
    size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    if (pos < text.size() && text[pos] == '"') {
      const size_t close = text.find('"', pos + 1);
      pos = close == std::string_view::npos ? text.size() : close + 1;
    } else {
      while (pos < text.size() && text[pos] != ' ' && text[pos] != '\t') ++pos;
    }
    return std::string(text.substr(pos));
  }
  return command::JoinInvocation(host_args, [](const std::string& path) { return IsFile(path); });
}

}  // namespace dos
