#include "crt/descriptor_table.h"

#include <vector>

namespace w98::internal {
namespace {

constexpr int kFirstDescriptor = 3;  // 0, 1 and 2 are the standard streams
constexpr size_t kMaxDescriptors = 2048;

struct Table {
  std::mutex mutex;
  std::vector<std::shared_ptr<CrtFile>> files;  // index = descriptor - kFirstDescriptor
};

Table& TheTable() {
  static Table* table = new Table;  // outlives every static destructor
  return *table;
}

}  // namespace

int InsertCrtFile(std::shared_ptr<CrtFile> file) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> lock(t.mutex);
  for (size_t i = 0; i < t.files.size(); ++i) {
    if (!t.files[i]) {
      t.files[i] = std::move(file);
      return static_cast<int>(i) + kFirstDescriptor;
    }
  }
  if (t.files.size() >= kMaxDescriptors) return -1;
  t.files.push_back(std::move(file));
  return static_cast<int>(t.files.size() - 1) + kFirstDescriptor;
}

std::shared_ptr<CrtFile> FindCrtFile(int fd) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> lock(t.mutex);
  const long index = static_cast<long>(fd) - kFirstDescriptor;
  if (index < 0 || static_cast<size_t>(index) >= t.files.size()) return nullptr;
  return t.files[static_cast<size_t>(index)];
}

std::shared_ptr<CrtFile> RemoveCrtFile(int fd) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> lock(t.mutex);
  const long index = static_cast<long>(fd) - kFirstDescriptor;
  if (index < 0 || static_cast<size_t>(index) >= t.files.size()) return nullptr;
  return std::move(t.files[static_cast<size_t>(index)]);
}

}  // namespace w98::internal
