// w98 log [--previous]: shows the boot log of the machine's last boot (or of the one before).
#include <cstdio>

#include "command.h"
#include "w98/w98.h"

namespace w98tool {
namespace {

int ShowLog(const Args& args) {
  const bool previous = args.size() == 1 && args[0] == "--previous";
  if (!args.empty() && !previous) return Fail("usage: w98 log [--previous]", 2);
  const std::string path = w98::BootLogFile(previous);
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr)
    return Fail(previous ? "no log of an earlier boot" : "the machine has no boot log yet");
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) std::fwrite(buffer, 1, n, stdout);
  std::fclose(in);
  return 0;
}

}  // namespace

W98_TOOL_COMMAND("log",
                 "w98 log [--previous]      show the boot log of the last boot (or the one before)",
                 true, ShowLog);

}  // namespace w98tool
