#include "browsers/DetachedProcess.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "browsers/ChildExec.h"

namespace karv {

bool launchDetached(const std::string& program, const std::vector<std::string>& argv) {
  if (program.empty() || argv.empty()) return false;
  ChildExec exec(program, argv);
  if (!exec.ready()) return false;
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);  // orphans the program: init reaps it
    exec.execInChild();
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  const bool executed = exec.executed();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 && executed;
}

}  // namespace karv
