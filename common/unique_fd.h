#pragma once

// A POSIX file descriptor owned by one object.

#include <unistd.h>

#include <utility>

namespace vr512b {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now and reports the result: close can be the first to notice a
  // failed write on some file systems.
  bool Close() {
    if (fd_ < 0)
      return true;
    return ::close(std::exchange(fd_, -1)) == 0;
  }

 private:
  void Reset() {
    if (fd_ >= 0)
      ::close(std::exchange(fd_, -1));
  }
  int fd_ = -1;
};

}  // namespace vr512b
