#pragma once
#include <string>
#include <vector>

namespace karv::test {

struct ToolResult {
  int exitCode = -1;   // -1 when the program could not be started
  std::string output;  // stdout and stderr together
};

// Runs a program from PATH with an argument vector (no shell) and waits.
ToolResult runTool(const std::vector<std::string>& argv);

// As runTool, in a private mount namespace where the folder `source` is bound
// over the existing folder `target`: the program sees `source` there, the
// machine keeps its own. Needs root; exit code 126 when the bind fails.
ToolResult runToolWithFolderOver(const std::vector<std::string>& argv, const std::string& source,
                                 const std::string& target);

// True when every needle occurs in the text.
bool containsAll(const std::string& text, const std::vector<std::string>& needles);
// How often the needle occurs in the text.
int countOf(const std::string& text, const std::string& needle);

}  // namespace karv::test
