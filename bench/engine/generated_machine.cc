#include "generated_machine.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include <w98/w98.h>
#include <w98/windows.h>

#include "installation.h"

namespace quillow::bench {
namespace {

int64_t FileSize(const MachineShape& shape, int index) {
  // A fixed spread around the mean: from a tenth to 1.9 times it.
  const int64_t low = shape.mean_size / 10;
  const int64_t span = shape.mean_size * 18 / 10;
  return low + (static_cast<int64_t>(index) * 7919 % 1000) * span / 999;
}

std::string FolderName(int folder) {
  char name[16];
  std::snprintf(name, sizeof name, "D%03d", folder);
  return name;
}

std::string FileName(int index) {
  char name[32];
  // Mostly 8.3 names (boot-phase files), every tenth a long name (restored in Windows).
  if (index % 10 == 9)
    std::snprintf(name, sizeof name, "Long File %05d.dat", index);
  else
    std::snprintf(name, sizeof name, "F%07d.DLL", index);
  return name;
}

}  // namespace

int64_t GeneratedBytes(const MachineShape& shape) {
  int64_t total = 0;
  for (int i = 0; i < shape.files; ++i) total += FileSize(shape, i);
  return total;
}

std::string GeneratedFolder(const std::string& machine) {
  return (std::filesystem::path(machine) / "c" / "WINDOWS" / "GEN").string();
}

bool GenerateMachine(const std::string& folder, const MachineShape& shape,
                     const std::string& host_bin, std::string* error) {
  namespace fs = std::filesystem;
  w98::MachineOptions options;
  options.host_bin = host_bin;
  if (!w98::CreateMachine(folder, options, error)) return false;
  if (!w98::SelectMachine(folder)) {
    *error = "cannot select " + folder;
    return false;
  }
  BackupPatterns patterns = DefaultPatterns();
  for (int f = 0; f < shape.folders; ++f)
    patterns.windows.push_back("\\GEN\\" + FolderName(f) + "\\*.*");
  InstallResult installed;
  if (!Install(patterns, &installed, error)) return false;
  if (!CreateDirectoryA("C:\\BENCH", nullptr) ||
      !CopyFileA("C:\\WINDOWS\\USER.DAT", kInstalledUserHive, TRUE)) {
    *error = "cannot keep a copy of the installed user hive";
    return false;
  }

  std::mt19937_64 random(20240131);
  std::vector<char> block(1 << 16);
  for (char& c : block) c = static_cast<char>(random());
  const fs::path root = GeneratedFolder(folder);
  for (int i = 0; i < shape.files; ++i) {
    const fs::path dir = root / FolderName(i % shape.folders);
    if (i < shape.folders) fs::create_directories(dir);
    std::ofstream out(dir / FileName(i), std::ios::binary);
    // Each file differs: its number leads its contents, which start at an offset of its own.
    const std::string head = std::to_string(i) + "\n";
    out << head;
    int64_t left = FileSize(shape, i) - static_cast<int64_t>(head.size());
    const size_t offset = static_cast<size_t>(i) * 131 % 4096;
    const int64_t chunk = static_cast<int64_t>(block.size() - 4096);
    while (left > 0) {
      const int64_t n = std::min(left, chunk);
      out.write(block.data() + offset, static_cast<std::streamsize>(n));
      left -= n;
    }
    if (!out) {
      *error = "cannot write " + (dir / FileName(i)).string();
      return false;
    }
    if ((i + 1) % 1000 == 0) std::fprintf(stderr, "\rgenerated %d of %d files", i + 1, shape.files);
  }
  std::fprintf(stderr, "\n");
  return true;
}

}  // namespace quillow::bench
