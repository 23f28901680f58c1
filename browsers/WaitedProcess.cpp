#include "browsers/WaitedProcess.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "browsers/ChildExec.h"
#include "system/UniqueFd.h"

namespace karv {
namespace {

// Waits until the child has ended or the time is up, without reaping it.
bool endedWithin(pid_t child, std::chrono::milliseconds limit) {
  UniqueFd pidFd{static_cast<int>(::syscall(SYS_pidfd_open, child, 0))};
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
  ChildExec exec(program, argv);
  if (!exec.ready()) return std::nullopt;
  const pid_t child = ::fork();
  if (child < 0) return std::nullopt;
  if (child == 0) {
    ::setpgid(0, 0);
    exec.execInChild();
  }
  ::setpgid(child, child);  // also here: the group must exist before it is killed
  const bool executed = exec.executed();
  const bool ended = endedWithin(child, limit);
  // The unreaped child keeps its group's ID from being reused, so this kills
  // only what it left behind, or all of it when it did not finish.
  ::kill(-child, SIGKILL);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!executed || !ended || !WIFEXITED(status)) return std::nullopt;
  return WEXITSTATUS(status);
}

}  // namespace karv
