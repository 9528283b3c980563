#include "version/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace w98::internal {

bool ByteSource::U16(std::uint64_t offset, std::uint16_t& out) const {
  unsigned char b[2];
  if (!Read(offset, b, 2)) return false;
  out = static_cast<std::uint16_t>(b[0] | (b[1] << 8));
  return true;
}

bool ByteSource::U32(std::uint64_t offset, std::uint32_t& out) const {
  unsigned char b[4];
  if (!Read(offset, b, 4)) return false;
  out = std::uint32_t{b[0]} | (std::uint32_t{b[1]} << 8) | (std::uint32_t{b[2]} << 16) |
        (std::uint32_t{b[3]} << 24);
  return true;
}

bool ByteSource::Bytes(std::uint64_t offset, size_t n, std::string& out) const {
  if (offset > Size() || n > Size() - offset) return false;
  out.resize(n);
  return n == 0 || Read(offset, out.data(), n);
}

bool MemorySource::Read(std::uint64_t offset, void* out, size_t n) const {
  if (offset > bytes_.size() || n > bytes_.size() - offset) return false;
  if (n != 0) std::memcpy(out, bytes_.data() + offset, n);
  return true;
}

FileSource::FileSource(int dir_fd, const char* name) {
  fd_ = ::openat(dir_fd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd_ < 0) return;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    return;
  }
  size_ = static_cast<std::uint64_t>(st.st_size);
}

FileSource::~FileSource() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileSource::Read(std::uint64_t offset, void* out, size_t n) const {
  if (fd_ < 0 || offset > size_ || n > size_ - offset) return false;
  auto* p = static_cast<char*>(out);
  while (n > 0) {
    const ssize_t got = ::pread(fd_, p, n, static_cast<off_t>(offset));
    if (got <= 0) return false;  // the file shrank under us, or a read error
    p += got;
    offset += static_cast<std::uint64_t>(got);
    n -= static_cast<size_t>(got);
  }
  return true;
}

}  // namespace w98::internal
