// regedit: the registry editor of a machine (see regedit_tool.h).
#include <cstdio>
#include <string>
#include <vector>

#include "regedit_tool.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string out, err;
  const int code = regedit::RunRegedit(args, &out, &err);
  std::fputs(out.c_str(), stdout);
  std::fputs(err.c_str(), stderr);
  return code;
}
