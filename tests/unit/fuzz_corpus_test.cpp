#include <gtest/gtest.h>

#include <filesystem>

#include "FuzzTargets.h"
#include "system/SecureFiles.h"

namespace karv {
namespace {

// Every input of the fuzz corpus, the seeds and each input that once made a
// reader fail, goes through its harness without libFuzzer: a fault that
// comes back fails here, and in the sanitizer build it is caught where it
// happens.
TEST(FuzzCorpus, EveryInputGoesThroughItsReader) {
  namespace fs = std::filesystem;
  for (const auto& target : fuzz::targets()) {
    const fs::path folder = fs::path(KARV_FUZZ_CORPUS_DIR) / std::string(target.name);
    size_t inputs = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
      SCOPED_TRACE(entry.path().string());
      const auto bytes = readWholeFile(entry.path().string());
      ASSERT_TRUE(bytes);
      target.run(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size());
      ++inputs;
    }
    EXPECT_GT(inputs, 0u) << target.name;
  }
}

}  // namespace
}  // namespace karv
