#include "browsers/NssLibrary.h"

#include <optional>

namespace karv {
namespace {

struct Loaded {
  std::optional<NssLibrary> api;
  std::string error;
};

const Loaded& load() {
  static const Loaded loaded = [] {
    // libsmime3 (PKCS#12) brings libnss3, libnssutil3 and libnspr4 with it.
    SharedLibrary library("libsmime3.so");
    NssLibrary api;
    if (!(KARV_NSS_FUNCTIONS(KARV_LIBRARY_RESOLVE) true)) return Loaded{std::nullopt, library.error()};
    return Loaded{api, {}};
  }();
  return loaded;
}

}  // namespace

const NssLibrary* NssLibrary::get(std::string& error) {
  const Loaded& l = load();
  if (!l.api) error = "NSS is not available: " + l.error;
  return l.api ? &*l.api : nullptr;
}

const NssLibrary& NssLibrary::loaded() { return *load().api; }

}  // namespace karv
