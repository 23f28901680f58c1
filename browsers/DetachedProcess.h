#pragma once
#include <string>
#include <vector>

namespace karv {

// Starts `program` with the argument vector (argv[0] included) as a process
// of its own session that this one neither waits for nor reaps: no shell,
// standard streams on /dev/null, no descriptor of ours inherited. Returns once
// the program has been executed; false when it could not be.
[[nodiscard]] bool launchDetached(const std::string& program, const std::vector<std::string>& argv);

}  // namespace karv
