// A generated machine for the engine's benchmarks: a w98 machine with the product installed and
// many provisioned files of pseudo-random sizes and contents below C:\WINDOWS\GEN.
#ifndef QUILLOW_BENCH_ENGINE_GENERATED_MACHINE_H
#define QUILLOW_BENCH_ENGINE_GENERATED_MACHINE_H

#include <cstdint>
#include <string>

namespace quillow::bench {

struct MachineShape {
  int files = 10000;          // provisioned files
  int64_t mean_size = 40960;  // bytes; sizes are spread evenly from a tenth to 1.9 times it
  int folders = 100;          // files are spread over this many folders, one pattern each
};

// DOS path of a copy of the user hive as it is after the installation, before any snapshot:
// the benchmarks copy it back to start again from an empty store.
inline constexpr char kInstalledUserHive[] = "C:\\BENCH\\USER.DAT";

// Creates the machine in `folder` (missing or empty), installs the product with one pattern
// per generated folder, keeps a copy of the installed user hive (kInstalledUserHive), and
// writes the files. Returns false with a reason on failure.
// `host_bin` is the folder of this build's programs. Prints progress on stderr.
bool GenerateMachine(const std::string& folder, const MachineShape& shape,
                     const std::string& host_bin, std::string* error);

// Total bytes of the generated files of a shape (the same for every run).
int64_t GeneratedBytes(const MachineShape& shape);

// Host folder that holds the generated files of a machine ("<machine>/c/WINDOWS/GEN").
std::string GeneratedFolder(const std::string& machine);

}  // namespace quillow::bench

#endif  // QUILLOW_BENCH_ENGINE_GENERATED_MACHINE_H
