#include "version/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

long FileSource::ReadAt(std::uint64_t offset, char* out, size_t n) const {
  size_t done = 0;
  while (done < n) {
    const ssize_t got = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;  // the file shrank under us
    done += static_cast<size_t>(got);
  }
  return static_cast<long>(done);
}

bool FileSource::Read(std::uint64_t offset, void* out, size_t n) const {
  if (fd_ < 0 || offset > size_ || n > size_ - offset) return false;
  if (n == 0) return true;
  if (n > kWindow / 2) return ReadAt(offset, static_cast<char*>(out), n) == static_cast<long>(n);
  const bool inside =
      !window_.empty() && offset >= window_start_ && offset + n <= window_start_ + window_.size();
  if (!inside) {
    // A window from the 512-byte boundary at or before the read: fields just before it (a
    // header read backwards, the entry before a directory's) come with it. It holds the whole
    // read, since the read is at most half a window and starts within 512 bytes of it.
    const std::uint64_t start = offset & ~std::uint64_t{511};
    const size_t length = static_cast<size_t>(std::min<std::uint64_t>(kWindow, size_ - start));
    window_.resize(length);
    const long got = ReadAt(start, window_.data(), length);
    window_.resize(got < 0 ? 0 : static_cast<size_t>(got));
    window_start_ = start;
    if (offset + n > start + window_.size()) return false;
  }
  std::memcpy(out, window_.data() + (offset - window_start_), n);
  return true;
}

}  // namespace w98::internal
