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

// A host file read with pread; the descriptor is closed with the source. A parser walks an
// executable's headers a field at a time, so small reads are served from a window of the file
// read in one call (a version resource costs a few reads instead of one per field); larger
// reads go straight to the file. Use one object from one thread at a time.
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

  // The window's size; reads of more than half of it bypass it.
  static constexpr size_t kWindow = 4096;

 private:
  // Reads up to `n` bytes at `offset` into `out`, stopping early only at the end of the file;
  // the count read, or -1 on an error.
  long ReadAt(std::uint64_t offset, char* out, size_t n) const;

  int fd_ = -1;
  std::uint64_t size_ = 0;
  mutable std::string window_;  // bytes of the file from window_start_ on (empty: none yet)
  mutable std::uint64_t window_start_ = 0;
};

}  // namespace w98::internal

#endif  // W98_SRC_VERSION_BYTE_SOURCE_H
