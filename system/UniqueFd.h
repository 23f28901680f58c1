#pragma once

#include <unistd.h>

namespace karv {

// A file descriptor that closes itself; -1 holds none.
struct UniqueFd {
  int fd = -1;

  explicit UniqueFd(int f = -1) : fd(f) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd(other.release()) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd& operator=(UniqueFd&&) = delete;

  int release() {
    const int f = fd;
    fd = -1;
    return f;
  }
  void reset() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

}  // namespace karv
