#include "text_file.h"

#include <cstring>

#include <w98/io.h>
#include <w98/windows.h>

namespace snapshot {

bool TextFile::Open(const std::string& path, int flags) {
  Close();
  fd_ = _open(path.c_str(), flags, _S_IREAD | _S_IWRITE);
  if (fd_ < 0) {
    last_error_ = GetLastError();
    return false;
  }
  return true;
}

bool TextFile::Create(const std::string& path) {
  return Open(path, _O_RDWR | _O_CREAT | _O_TRUNC | _O_TEXT);
}

bool TextFile::OpenForAppend(const std::string& path) {
  return Open(path, _O_RDWR | _O_CREAT | _O_TEXT) && SeekEnd();
}

bool TextFile::OpenExistingForAppend(const std::string& path) {
  return Open(path, _O_RDWR | _O_TEXT) && SeekEnd();
}

bool TextFile::SeekEnd() {
  if (_lseek(fd_, 0, _SEEK_END) < 0) {
    last_error_ = GetLastError();
    Close();
    return false;
  }
  return true;
}

constexpr size_t kHeldBytes = 64 * 1024;

bool TextFile::Write(std::string_view text) {
  if (fd_ < 0) return false;
  if (!buffered_) return WriteNow(text);
  held_ += text;
  return held_.size() < kHeldBytes || Flush();
}

bool TextFile::Flush() {
  if (fd_ < 0) return held_.empty();
  const bool ok = WriteNow(held_);
  held_.clear();
  return ok;
}

bool TextFile::WriteNow(std::string_view text) {
  if (text.empty()) return true;
  const int n = _write(fd_, text.data(), static_cast<unsigned>(text.size()));
  if (n != static_cast<int>(text.size())) {
    last_error_ = GetLastError();
    return false;
  }
  return true;
}

bool TextFile::WriteAll(const std::vector<std::string>& entries) {
  // One call for the whole group: the bytes on disk are the same as with one write per entry.
  std::string text;
  for (const std::string& entry : entries) text += entry;
  return Write(text);
}

bool TextFile::Rewind() {
  if (fd_ < 0 || !Flush()) return false;
  if (_lseek(fd_, 0, _SEEK_SET) != 0) {
    last_error_ = GetLastError();
    return false;
  }
  return true;
}

void TextFile::Close() {
  if (fd_ >= 0) {
    Flush();
    _close(fd_);
  }
  held_.clear();
  fd_ = -1;
}

bool IsRegistryScript(const std::string& path) {
  const int fd = _open(path.c_str(), _O_RDONLY | _O_BINARY);
  if (fd < 0) return false;
  char head[8] = {};
  const int n = _read(fd, head, sizeof head);
  _close(fd);
  return n == static_cast<int>(sizeof head) && std::memcmp(head, "REGEDIT4", sizeof head) == 0;
}

bool EndsWithLineEnd(const std::string& path) {
  const int fd = _open(path.c_str(), _O_RDONLY | _O_BINARY);
  if (fd < 0) return true;
  char last = '\n';
  if (_filelength(fd) > 0 && (_lseek(fd, -1, _SEEK_END) < 0 || _read(fd, &last, 1) != 1))
    last = '\0';
  _close(fd);
  return last == '\n';
}

bool AppendLineFeed(const std::string& path) {
  const int fd = _open(path.c_str(), _O_WRONLY | _O_BINARY);
  if (fd < 0) return false;
  bool ok = _lseek(fd, 0, _SEEK_END) >= 0 && _write(fd, "\n", 1) == 1;
  ok = _commit(fd) == 0 && ok;
  _close(fd);
  return ok;
}

}  // namespace snapshot
