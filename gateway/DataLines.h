#pragma once
// The gateway's data files (configuration, demo users, state) are text files
// of one record per line, with blank lines and "#" comments between them.
#include <functional>
#include <string>

namespace karv::gateway {

// Calls `record` for every line that is neither blank nor a comment (without
// its line end). When `record` returns false, stops and returns false with
// `error` as "<where>:<line number>: <what record said>".
[[nodiscard]] bool forEachDataLine(const std::string& text, const std::string& where,
                                   const std::function<bool(const std::string& line, std::string& error)>& record,
                                   std::string& error);
// The same over a file; false also when it cannot be read.
[[nodiscard]] bool forEachDataLineOfFile(const std::string& path,
                                         const std::function<bool(const std::string& line, std::string& error)>& record,
                                         std::string& error);

}  // namespace karv::gateway
