#include "browsers/WaitedProcess.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

// Waits until the child has ended or the time is up, without reaping it.
bool endedWithin(pid_t child, std::chrono::milliseconds limit) {
  Fd pidFd{static_cast<int>(::syscall(SYS_pidfd_open, child, 0))};
  if (pidFd.fd < 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd ready{pidFd.fd, POLLIN, 0};
    const int n = ::poll(&ready, 1, static_cast<int>(std::min<long long>(left.count(), 60'000)));
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return false;
  }
}

}  // namespace

std::optional<int> runAndWait(const std::string& program, const std::vector<std::string>& argv,
                              std::chrono::milliseconds limit) {
  if (program.empty() || argv.empty()) return std::nullopt;
  // Prepared before fork(): the child may only make async-signal-safe calls.
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  Fd devNull{::open("/dev/null", O_RDWR | O_CLOEXEC)};
  // A failed exec is reported through this pipe; a successful one closes it.
  int report[2];
  if (devNull.fd < 0 || ::pipe2(report, O_CLOEXEC) != 0) return std::nullopt;
  Fd reader{report[0]};
  Fd writer{report[1]};

  const pid_t child = ::fork();
  if (child < 0) return std::nullopt;
  if (child == 0) {
    ::setpgid(0, 0);
    ::dup2(devNull.fd, STDIN_FILENO);
    ::dup2(devNull.fd, STDOUT_FILENO);
    ::dup2(devNull.fd, STDERR_FILENO);
    ::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC);
    ::execve(program.c_str(), args.data(), environ);
    const int error = errno;
    (void)!::write(writer.fd, &error, sizeof error);
    ::_exit(127);
  }
  ::setpgid(child, child);  // also here: the group must exist before it is killed
  ::close(writer.fd);
  writer.fd = -1;
  int execError = 0;
  ssize_t n = 0;
  while ((n = ::read(reader.fd, &execError, sizeof execError)) < 0 && errno == EINTR) {
  }
  const bool ended = endedWithin(child, limit);
  // The unreaped child keeps its group's ID from being reused, so this kills
  // only what it left behind, or all of it when it did not finish.
  ::kill(-child, SIGKILL);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (n != 0 || !ended || !WIFEXITED(status)) return std::nullopt;
  return WEXITSTATUS(status);
}

}  // namespace karv
