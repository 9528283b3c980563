// quillow_genmachine DIR [--files N] [--mean-size BYTES]: makes a machine for the engine's
// benchmarks (10,000 provisioned files of about 400 MB by default).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "generated_machine.h"
#include "temp_machine.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: quillow_genmachine DIR [--files N] [--mean-size BYTES]\n");
    return 2;
  }
  quillow::bench::MachineShape shape;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--files")
      shape.files = std::atoi(argv[i + 1]);
    else if (option == "--mean-size")
      shape.mean_size = std::atoll(argv[i + 1]);
  }
  std::string error;
  if (!quillow::bench::GenerateMachine(argv[1], shape, w98::testing::BuildBinFolder().string(),
                                       &error)) {
    std::fprintf(stderr, "quillow_genmachine: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s: %d files, %lld bytes\n", argv[1], shape.files,
              static_cast<long long>(quillow::bench::GeneratedBytes(shape)));
  return 0;
}
