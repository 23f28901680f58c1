#include "FuzzTargets.h"

#include <array>

namespace karv::fuzz {

std::span<const Target> targets() {
  static constexpr std::array<Target, 6> kTargets{{
      {"reply", replyOpening},
      {"xml", xmlDocument},
      {"names_times", namesAndTimes},
      {"pfx", pfxReader},
      {"issued_cert", issuedCertificate},
      {"form_body", formBody},
  }};
  return kTargets;
}

}  // namespace karv::fuzz
