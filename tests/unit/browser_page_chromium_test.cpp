// A real browser opens the installation page written from the development
// gateway's template: headless Chromium renders it and the certificate's
// fields show, whatever characters they carry.
#include <gtest/gtest.h>

#include "BrowserOpener.h"
#include "KARVLib.h"
#include "support/PfxFixture.h"
#include "support/TestGateway.h"

namespace karv {
namespace {

using namespace test;

struct RecordingOpener : BrowserOpener {
  std::string lastUrl;
  bool openUrlWithBrowser(const std::string&, const std::string& url) override {
    lastUrl = url;
    return true;
  }
};

// The page as Chromium has it after its scripts ran (--dump-dom), with a
// fresh profile and none of the background traffic this closed network refuses.
ToolResult renderWithChromium(const std::string& url, const std::string& profileDir) {
  return runTool({"timeout", "120", "chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                  "--no-first-run", "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--user-data-dir=" + profileDir, "--dump-dom", url});
}

class ChromiumPageTest : public PfxFixture {};

TEST_F(ChromiumPageTest, RenderedPageShowsTheCertificate) {
  TestGateway gw;
  const auto lib = gw.client();
  const auto opener = std::make_shared<RecordingOpener>();
  lib->setBrowserOpener(opener);
  struct Case {
    std::string cn;
    long serial;
    std::string renderedCn;  // as the DOM serialises the text
    std::string renderedSerial;
  };
  const Case cases[] = {
      {"X12345-01", 0x0A1B, "X12345-01", "A1B"},
      {R"(Q"uote\Back</script><!--$1)", 0x7F00FF, R"(Q"uote\Back&lt;/script&gt;&lt;!--$1)", "7F00FF"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cn);
    const X509Ptr cert = makeCert({c.cn, "Retail", "", "", "", "TW"}, userKey(), chain.intermediate.get(),
                                  intermediateKey(), {c.serial, false});
    const std::string pfx = home / "user.pfx";
    ASSERT_EQ(rsa.savePfxFile(b64Der(cert.get()), keyPem(userKey()), pfx, "Pa55word!"), 0);
    ASSERT_EQ(lib->deployCert(pfx, "Pa55word!", {{{"bundleId", "com.google.Chrome"}}}), 0);

    const ToolResult rendered = renderWithChromium(opener->lastUrl, home / "chromium-profile");
    ASSERT_EQ(rendered.exitCode, 0) << "chromium (Debian's package, installed by scripts/setup) must run:\n"
                                    << rendered.output;
    EXPECT_TRUE(containsAll(rendered.output,
                            {"<h1 id=\"title\">安裝憑證到瀏覽器</h1>", "<th>CN</th><td>" + c.renderedCn + "</td>",
                             "<th>憑證序號</th><td>" + c.renderedSerial + "</td>"}))
        << rendered.output.substr(0, 4000);
  }
}

}  // namespace
}  // namespace karv
