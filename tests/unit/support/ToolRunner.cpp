#include "support/ToolRunner.h"

#include <sched.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace karv::test {
namespace {

std::vector<char*> argumentVector(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  return args;
}

// Reads the child's output until it closes the pipe, then reaps it.
ToolResult collect(pid_t pid, int readFd) {
  ToolResult result;
  char buffer[4096];
  ssize_t n = 0;
  while ((n = ::read(readFd, buffer, sizeof buffer)) > 0) result.output.append(buffer, static_cast<size_t>(n));
  ::close(readFd);
  int status = 0;
  if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  return result;
}

}  // namespace

ToolResult runTool(const std::vector<std::string>& argv) {
  int pipeFds[2];
  if (argv.empty() || ::pipe(pipeFds) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  auto args = argumentVector(argv);
  pid_t pid = 0;
  const int spawned = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (spawned != 0) {
    ::close(pipeFds[0]);
    return {};
  }
  return collect(pid, pipeFds[0]);
}

ToolResult runToolWithFolderOver(const std::vector<std::string>& argv, const std::string& source,
                                 const std::string& target) {
  int pipeFds[2];
  if (argv.empty() || ::pipe(pipeFds) != 0) return {};
  auto args = argumentVector(argv);  // before fork: the child only makes system calls
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipeFds[1], STDOUT_FILENO);
    ::dup2(pipeFds[1], STDERR_FILENO);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    // Private propagation first, or the bind would show in the machine's namespace.
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0)
      ::_exit(126);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  if (pid < 0) {
    ::close(pipeFds[0]);
    return {};
  }
  return collect(pid, pipeFds[0]);
}

bool containsAll(const std::string& text, const std::vector<std::string>& needles) {
  for (const auto& n : needles)
    if (text.find(n) == std::string::npos) return false;
  return true;
}

int countOf(const std::string& text, const std::string& needle) {
  int count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) ++count;
  return count;
}

}  // namespace karv::test
