#pragma once

#include <string>
#include <vector>

#include "system/UniqueFd.h"

namespace karv {

// What a child process needs to execute a program, prepared before fork():
// the child of a process with threads may make async-signal-safe calls only.
class ChildExec {
 public:
  // `argv` includes argv[0]; both must outlive this object.
  ChildExec(const std::string& program, const std::vector<std::string>& argv);

  [[nodiscard]] bool ready() const { return devNull_.fd >= 0 && reader_.fd >= 0 && writer_.fd >= 0; }
  // In the child: standard streams on /dev/null, no descriptor of ours
  // inherited, no shell; executes the program and never returns.
  [[noreturn]] void execInChild() const noexcept;
  // In the parent, once the child exists: whether the program was executed.
  // A failed exec reports through a close-on-exec pipe, a successful one
  // closes it, so this waits until one of them happened.
  [[nodiscard]] bool executed();

 private:
  const std::string& program_;
  std::vector<char*> args_;
  UniqueFd devNull_, reader_, writer_;
};

}  // namespace karv
