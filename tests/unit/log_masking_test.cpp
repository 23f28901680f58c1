// Personal numbers in the log: how much of a value a line may show, which
// request parameters are masked, and values masked wherever a line carries them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/EncryptedExchange.h"
#include "system/Log.h"

namespace karv {
namespace {

TEST(LogMasking, PersonalNumbersShowAtMostHalf) {
  const struct {
    const char* value;
    const char* shown;
  } cases[] = {
      {"", ""},
      {"001", "***"},
      {"0012345", "*******"},  // an account number
      {"A12345678", "*********"},
      {"A123456789", "A12*****89"},        // an ID number
      {"A123456789-01", "A12********01"},  // a common name built on it
      {"王小明1234567", "王小明*****67"},  // characters, not bytes
      {"王小明123456", "*********"},
  };
  for (const auto& c : cases) EXPECT_EQ(maskPersonal(c.value), c.shown) << c.value;
}

TEST(LogMasking, RequestParametersAsLogged) {
  const struct {
    const char* name;
    const char* value;
    const char* logged;
  } cases[] = {
      {"pwd", "Passw0rd1", "***"},
      {"newPwd", "Passw0rd9x", "***"},
      {"idno", "A123456789", "A12*****89"},
      {"userId", "A123456789", "A12*****89"},
      {"acctNo", "0012345", "*******"},
      {"account", "0012345", "*******"},
      {"cn", "A123456789-01", "A12********01"},
      {"brnhId", "001", "001"},  // a branch office's code
      {"loginType", "2", "2"},
  };
  for (const auto& c : cases) EXPECT_EQ(EncryptedExchange::loggedParamValue(c.name, c.value), c.logged) << c.name;
}

TEST(LogMasking, KnownValuesAreMaskedInEveryLine) {
  std::vector<std::string> lines;
  setLogSink([&](std::string_view line) { lines.emplace_back(line); });
  maskInLog("Z987654321");
  maskInLog("Z987654321-07");
  maskInLog("011");  // too short to tell from other text
  logf("write /home/u/KARV/%s.pfx failed", "Z987654321");
  logLine("cn Z987654321-07, again Z987654321-07, branch 011");
  setLogSink({});
  EXPECT_EQ(lines, (std::vector<std::string>{"write /home/u/KARV/Z98*****21.pfx failed",
                                             "cn Z98********07, again Z98********07, branch 011"}));
}

}  // namespace
}  // namespace karv
