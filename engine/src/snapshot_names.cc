#include "snapshot_names.h"

namespace snapshot {

bool IsUsableSnapshotName(std::string_view name) {
  if (name.size() < 10) return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) return false;
  }
  return true;
}

std::string BatchFileName(std::string_view name, char letter) {
  std::string batch(name);
  if (batch.size() > 9) batch[9] = letter;
  return batch;
}

bool IsScheduledName(std::string_view name) {
  return name.size() >= 2 && name.substr(name.size() - 2) == "00";
}

}  // namespace snapshot
