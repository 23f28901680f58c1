#pragma once
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace karv {

// Runs `program` with the argument vector (argv[0] included), no shell,
// standard streams on /dev/null and no descriptor of ours inherited, in a
// process group of its own, and waits at most `limit` for it. Whatever is
// left of the group then is killed. The exit code, or none when the program
// could not be started, was killed or did not finish in time.
[[nodiscard]] std::optional<int> runAndWait(const std::string& program, const std::vector<std::string>& argv,
                                            std::chrono::milliseconds limit);

}  // namespace karv
