#include "browsers/ChildExec.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/syscall.h>

#include <cerrno>

extern char** environ;

namespace karv {

ChildExec::ChildExec(const std::string& program, const std::vector<std::string>& argv)
    : program_(program), devNull_(::open("/dev/null", O_RDWR | O_CLOEXEC)) {
  for (const auto& arg : argv) args_.push_back(const_cast<char*>(arg.c_str()));
  args_.push_back(nullptr);
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return;
  reader_.fd = report[0];
  writer_.fd = report[1];
}

void ChildExec::execInChild() const noexcept {
  ::dup2(devNull_.fd, STDIN_FILENO);
  ::dup2(devNull_.fd, STDOUT_FILENO);
  ::dup2(devNull_.fd, STDERR_FILENO);
  ::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC);
  ::execve(program_.c_str(), args_.data(), environ);
  const int error = errno;
  (void)!::write(writer_.fd, &error, sizeof error);
  ::_exit(127);
}

bool ChildExec::executed() {
  writer_.reset();
  int execError = 0;
  ssize_t n = 0;
  while ((n = ::read(reader_.fd, &execError, sizeof execError)) < 0 && errno == EINTR) {
  }
  return n == 0;
}

}  // namespace karv
