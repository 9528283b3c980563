// exitprobe: a test program of the machine. Prints "probe" and its arguments, then exits with
// the number given as its first argument, else with the number in C:\PROBE.TXT, else 0.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dos_files.h"

int main(int argc, char** argv) {
  std::string line = "probe";
  for (int i = 1; i < argc; ++i) line += std::string(" [") + argv[i] + "]";
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  if (argc > 1 && argv[1][0] >= '0' && argv[1][0] <= '9') return std::atoi(argv[1]);
  std::string text;
  if (dos::ReadWholeFile("C:\\PROBE.TXT", &text)) return std::atoi(text.c_str());
  return 0;
}
