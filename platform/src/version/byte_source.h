// Random access to the bytes of an executable, with every read bounded by the data's size.
#ifndef W98_SRC_VERSION_BYTE_SOURCE_H
#define W98_SRC_VERSION_BYTE_SOURCE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace w98::internal {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Copies `n` bytes at `offset` into `out`; false (nothing promised about `out`) when any of
  // them lies past the end or cannot be read.
  virtual bool Read(std::uint64_t offset, void* out, size_t n) const = 0;

  // Little-endian integers; false when out of bounds.
  bool U16(std::uint64_t offset, std::uint16_t& out) const;
  bool U32(std::uint64_t offset, std::uint32_t& out) const;
  // `n` bytes into `out`; false when out of bounds.
  bool Bytes(std::uint64_t offset, size_t n, std::string& out) const;
};

// Bytes held in memory (tests, fuzzing). The view must outlive the source.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  bool Read(std::uint64_t offset, void* out, size_t n) const override;

 private:
  std::string_view bytes_;
};

// A host file read with pread; the descriptor is closed with the source.
class FileSource : public ByteSource {
 public:
  // Opens `name` in the open folder `dir_fd` for reading, without following a link; Ok() is
  // false when it cannot be opened or is not a file.
  FileSource(int dir_fd, const char* name);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  bool Ok() const { return fd_ >= 0; }
  std::uint64_t Size() const override { return size_; }
  bool Read(std::uint64_t offset, void* out, size_t n) const override;

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

}  // namespace w98::internal

#endif  // W98_SRC_VERSION_BYTE_SOURCE_H
