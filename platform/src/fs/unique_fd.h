// An owned host file descriptor, closed when the owner goes away.
#ifndef W98_SRC_FS_UNIQUE_FD_H
#define W98_SRC_FS_UNIQUE_FD_H

#include <unistd.h>

#include <memory>
#include <utility>

namespace w98::internal {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

// A host file descriptor shared by several owners, closed when the last one goes away.
class SharedFd {
 public:
  SharedFd() = default;
  explicit SharedFd(UniqueFd fd) : fd_(std::make_shared<const UniqueFd>(std::move(fd))) {}

  int get() const { return fd_ ? fd_->get() : -1; }
  bool valid() const { return get() >= 0; }

 private:
  std::shared_ptr<const UniqueFd> fd_;
};

}  // namespace w98::internal

#endif  // W98_SRC_FS_UNIQUE_FD_H
