#pragma once
// Shared set-up of the .pfx tests: a temporary HOME, the test chain, and the
// openssl tool's view of a .pfx file.
#include <gtest/gtest.h>

#include "crypto/RSAUtility.h"
#include "support/TestFiles.h"
#include "support/TestPki.h"
#include "support/ToolRunner.h"

namespace karv::test {

class PfxFixture : public ::testing::Test {
 protected:
  TempDir home;
  ScopedEnv homeEnv{"HOME", home.path.string()};
  RSAUtility rsa;
  const Chain& chain = standardChain();

  // The user certificate alone, saved with its key.
  std::string saveUserPfx(const std::string& name, const std::string& password) {
    const std::string path = home / name;
    EXPECT_EQ(rsa.savePfxFile(b64Der(chain.user.get()), keyPem(userKey()), path, password), 0);
    return path;
  }

  // `openssl pkcs12` over the file with the password and extra options.
  static ToolResult pkcs12Tool(const std::string& path, const std::string& password, std::vector<std::string> options) {
    std::vector<std::string> argv{"openssl", "pkcs12", "-in", path, "-passin", "pass:" + password};
    argv.insert(argv.end(), options.begin(), options.end());
    return runTool(argv);
  }
};

}  // namespace karv::test
