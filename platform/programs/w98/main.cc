// w98: the machine tool. Creates machines and works on them.
//   w98 init DIR
#include <cstdio>
#include <unistd.h>

#include <cstring>
#include <string>

#include "w98/machine.h"

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "init") == 0) {
    w98::MachineOptions options;
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
      self[n] = '\0';
      std::string path(self);
      options.host_bin = path.substr(0, path.rfind('/'));
    }
    std::string error;
    if (!w98::CreateMachine(argv[2], options, &error)) {
      std::fprintf(stderr, "w98: %s\n", error.c_str());
      return 1;
    }
    std::printf("Created a Windows 98 machine in %s\n", argv[2]);
    return 0;
  }
  std::fprintf(stderr, "usage: w98 init DIR\n");
  return 2;
}
