// One libFuzzer program per harness; KARV_FUZZ_TARGET names it.
#include <cstdlib>
#include <string_view>

#include "FuzzTargets.h"
#include "system/Log.h"

namespace {
karv::fuzz::Harness harness() {
  for (const auto& target : karv::fuzz::targets())
    if (target.name == std::string_view(KARV_FUZZ_TARGET)) return target.run;
  std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const karv::fuzz::Harness run = harness();
  run(data, size);
  return 0;
}

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  // Millions of broken inputs would fill the system log.
  karv::setSystemLog(false);
  return 0;
}
