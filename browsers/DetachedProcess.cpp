#include "browsers/DetachedProcess.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace karv {
namespace {

// A descriptor that closes itself.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

bool launchDetached(const std::string& program, const std::vector<std::string>& argv) {
  if (program.empty() || argv.empty()) return false;
  // Everything the children need is prepared here: after fork() only
  // async-signal-safe calls are allowed, because this process has threads.
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  Fd devNull{::open("/dev/null", O_RDWR | O_CLOEXEC)};
  // The grandchild reports a failed exec through this pipe; a successful
  // exec closes it (close-on-exec) and the parent reads end-of-file.
  int report[2];
  if (devNull.fd < 0 || ::pipe2(report, O_CLOEXEC) != 0) return false;
  Fd reader{report[0]};
  Fd writer{report[1]};

  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);  // orphans the program: init reaps it
    ::dup2(devNull.fd, STDIN_FILENO);
    ::dup2(devNull.fd, STDOUT_FILENO);
    ::dup2(devNull.fd, STDERR_FILENO);
    ::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC);
    ::execve(program.c_str(), args.data(), environ);
    const int error = errno;
    (void)!::write(writer.fd, &error, sizeof error);
    ::_exit(127);
  }
  ::close(writer.fd);
  writer.fd = -1;
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int execError = 0;
  ssize_t n = 0;
  while ((n = ::read(reader.fd, &execError, sizeof execError)) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
}

}  // namespace karv
