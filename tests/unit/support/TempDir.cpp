#include "TempDir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace karv::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "karv-test-XXXXXX").string();
  if (::mkdtemp(pattern.data())) path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

}  // namespace karv::test
