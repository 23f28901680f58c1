// Every gateway call of the client against every way a gateway can fail it:
// the call ends in its own documented code, stores nothing (session,
// configuration, key files, current .pfx), logs no secret and does not crash.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <span>
#include <thread>

#include "browsers/BrowserOpener.h"
#include "gateway/DemoSeed.h"
#include "gateway/FormBody.h"
#include "support/TestFiles.h"
#include "support/TestGateway.h"
#include "system/KeyFileStore.h"
#include "system/Log.h"
#include "system/SecureFiles.h"

namespace karv::test {
namespace {

using gateway::Fault;

// Everything a call could store, in a reply that would otherwise be taken.
const std::string kBaitFields =
    "<rtnMsg>bait</rtnMsg><idno>EVIL</idno><brnhId>666</brnhId><acctNo>666</acctNo><aeskey>EVILEVILEVILEVIL</aeskey>"
    "<sessionId>EVIL</sessionId><cn>EVIL-01</cn><fnStatus>11</fnStatus><certCount>1</certCount><cert>MIIB</cert>"
    "<certInfo><certId>1</certId></certInfo><default.pfxFilePath>/tmp/evil/</default.pfxFilePath>";
const std::string kBait = "<Root><rtnCode>0</rtnCode>" + kBaitFields + "</Root>";
// A proxy's error page, even one holding the template's placeholder.
constexpr char kErrorPage[] = "<html><body><h1>500 Internal Server Error</h1><!-- #importCertInfo# --></body></html>";
constexpr int kClientLimitSeconds = 1;
constexpr int kSlowMs = 1500;
constexpr char kAuthCode[] = "958371";
constexpr char kNewLoginPwd[] = "Passw0rd9x";

struct FaultKind {
  const char* name;
  Fault fault;
  bool noReply;  // the client gets no reply at all
};

const std::vector<FaultKind>& faultKinds() {
  static const std::vector<FaultKind> kinds = {
      {"empty body", Fault::emptyBody(), false},
      {"garbage", Fault::garbage(), false},
      {"wrong RSA key", Fault::wrongRsaKey(kBait), false},
      {"wrong AES key", Fault::wrongAesKey(kBait), false},
      {"not Big5", Fault::plainReply("<Root><rtnCode>0</rtnCode><rtnMsg>\xff\xfe</rtnMsg>" + kBaitFields + "</Root>"),
       false},
      {"not XML", Fault::plainReply("rtnCode=0&sessionId=EVIL&aeskey=EVILEVILEVILEVIL"), false},
      {"no rtnCode", Fault::plainReply("<Root>" + kBaitFields + "</Root>"), false},
      {"HTTP 500", Fault::serverError(kErrorPage), false},
      {"connection cut", Fault::noAnswer(), true},
      {"slower than the limit", Fault::slow(kSlowMs), true},
  };
  return kinds;
}
bool isSlow(const FaultKind& kind) { return kind.fault.delayMs > 0; }

enum class Setup { kNoSession, kSession, kConfigured };

struct Call {
  const char* api;  // where the fault goes ("depCertForMac": the template)
  const DemoUserRef* user;
  Setup setup;
  std::function<std::string(KARVLib&, const TestGateway&, std::optional<std::string>& errMsg)> run;
  std::string noReply;     // the documented result without a reply
  std::string unreadable;  // ... with a reply that cannot be read
};

std::string code(int32_t c) { return std::to_string(c); }

const std::vector<Call>& calls() {
  using L = KARVLib;
  using G = const TestGateway;
  using E = std::optional<std::string>;
  static const DemoUserRef* const alice = &demo::kAlice;
  static const DemoUserRef* const expiring = &demo::kExpiring;
  static const std::vector<Call> list = {
      {"checkVersion", nullptr, Setup::kNoSession, [](L& l, G&, E& e) { return code(l.versionCheck(e)); }, "53701",
       "53705"},
      {"getSysCfg", alice, Setup::kSession,
       [](L& l, G&, E&) { return l.getSysCfg("depCert.mode") ? "loaded" : "none"; }, "none", "none"},
      {"iAmAlive", alice, Setup::kConfigured, [](L& l, G&, E&) { return code(l.iAmAlive()); }, "0", "0"},
      {"doBtsLogin", nullptr, Setup::kNoSession,
       [](L& l, G&, E& e) {
         std::optional<std::string> idno = alice->idno, agCode, accNo;
         return code(l.login(idno, agCode, accNo, std::string(alice->pwd), e, "2"));
       },
       "-1", "53907"},
      {"changeBtsLoginPwd", nullptr, Setup::kNoSession,
       [](L& l, G&, E& e) {
         return code(l.changeBtsLoginPwd(demo::kFirstLogin.idno, demo::kFirstLogin.pwd, kNewLoginPwd, e));
       },
       "-1", "53913"},
      {"doLogout", alice, Setup::kConfigured, [](L& l, G&, E&) { return code(l.logout(alice->idno)); }, "-1", "54003"},
      {"getFnStatus", alice, Setup::kConfigured,
       [](L& l, G&, E& e) {
         std::string status;
         int32_t certs = 0, effective = 0;
         return code(l.getFnStatus(alice->cn, status, certs, effective, e));
       },
       "54103", "54103"},
      {"queryContactInfo", alice, Setup::kConfigured,
       [](L& l, G&, E& e) {
         std::string mail, phone, birth;
         return code(l.queryContactInfo(mail, phone, birth, e));
       },
       "56007", "56007"},
      {"sendAuthCode", alice, Setup::kConfigured,
       [](L& l, G&, E& e) { return code(l.sendAuthCode(alice->email, alice->phone, "1", "Apply", e)); }, "56001",
       "56001"},
      {"validateBtsCertDlPwd", alice, Setup::kConfigured,
       [](L& l, G&, E& e) { return code(l.validateBtsCertDlPwd(alice->dlPwd, e)); }, "-1", "56005"},
      {"verifyAuthCode", alice, Setup::kConfigured,
       [](L& l, G&, E& e) { return code(l.VerifyAuthCode(kAuthCode, "Apply", e)); }, "56003", "56003"},
      {"applyCert", alice, Setup::kConfigured,
       [](L& l, G&, E& e) {
         std::string key, cert;
         StringMap info;
         return code(l.applyCert(alice->cn, key, cert, info, e));
       },
       "55015", "55015"},
      {"renewCert", expiring, Setup::kConfigured,
       [](L& l, G& gw, E& e) {
         std::string cert;
         StringMap info;
         return code(l.renewCert(expiring->cn, gw.demoPfx(*expiring), gateway::kDemoPfxPassword, cert, info, e));
       },
       "-1", "55201"},
      {"revokeCert", expiring, Setup::kConfigured,
       [](L& l, G&, E& e) {
         StringMap info;
         return code(l.revokeCert(expiring->cn, &info, e));
       },
       "55801", "55801"},
      {"activeCert", alice, Setup::kConfigured, [](L& l, G&, E& e) { return code(l.activeCert(42, std::nullopt, e)); },
       "54701", "54701"},
      {"qryCert", alice, Setup::kConfigured,
       [](L& l, G&, E& e) {
         std::optional<StringMap> record;
         return code(l.qrySvrCertInfo(alice->cn, record, e)) + (record ? " with a record" : "");
       },
       "-1", "0"},
      {"qryLastActiveCert", expiring, Setup::kConfigured,
       [](L& l, G&, E&) { return l.getLastActiveCertInfo(expiring->cn) ? "record" : "none"; }, "none", "none"},
      {"depCertForMac", expiring, Setup::kConfigured,
       [](L& l, G& gw, E&) {
         const BrowserRecord chrome{{"bundleId", "com.google.Chrome"}, {"name", "Chrome"}};
         return code(l.deployCert(gw.demoPfx(*expiring), gateway::kDemoPfxPassword, {chrome}));
       },
       "1", "1"},
  };
  return list;
}

// Opens nothing: no page may get that far.
struct NoBrowser : BrowserOpener {
  bool openUrlWithBrowser(const std::string&, const std::string&) override { return false; }
};

// What the client holds and must not change on a failed call.
struct ClientState {
  std::optional<std::string> sessionId, aesKey, cn, idno, agCode, account, pfxPath, pfxPwd;
  std::optional<StringMap> svrCfg;
  std::optional<std::string> pfxBytes;  // the current .pfx on disk
  bool operator==(const ClientState&) const = default;
};
ClientState stateOf(const KARVLib& l) {
  const auto bytes = l.getCurrentPfxFilePath() ? readWholeFile(*l.getCurrentPfxFilePath()) : std::nullopt;
  return {l.getSessionId(),
          l.getAesKey(),
          l.getCn(),
          l.getUserIdno(),
          l.getAgcode(),
          l.getAccount(),
          l.getCurrentPfxFilePath(),
          l.getCurrentPfxFilePwd(),
          l.getSvrCfg(),
          bytes};
}

// A client in the call's starting state, set up by a patient client (the
// cell's own one may give up after a second).
std::unique_ptr<KARVLib> cellClient(TestGateway& gw, const Call& call, long timeoutSeconds) {
  auto lib = gw.client(timeoutSeconds);
  lib->setBrowserOpener(std::make_shared<NoBrowser>());
  if (call.setup == Setup::kNoSession) return lib;
  auto setup = gw.client();
  EXPECT_TRUE(gw.login(*setup, *call.user).accepted());
  if (call.setup == Setup::kConfigured) {
    EXPECT_TRUE(setup->getSysCfg("depCert.mode"));  // loads it and fixes the .pfx path
    lib->setSvrCfg(setup->getSvrCfg());
    lib->setCurrentPfxFilePath(gw.demoPfx(*call.user));
    lib->setCurrentPfxFilePwd(gateway::kDemoPfxPassword);
  }
  lib->setSessionId(setup->getSessionId());
  lib->setAesKey(setup->getAesKey());
  lib->setCn(setup->getCn());
  lib->setUserIdno(setup->getUserIdno());
  lib->setAgcode(setup->getAgcode());
  lib->setAccount(setup->getAccount());
  return lib;
}

// Secrets of the whole run: what no log line may hold.
struct Secrets {
  std::mutex mutex;
  std::vector<std::string> texts{"PRIVATE KEY", kAuthCode, kNewLoginPwd, gateway::kDemoPfxPassword};

  void add(const std::optional<std::string>& text) {
    std::lock_guard lock(mutex);
    if (text && text->size() >= 8) texts.push_back(*text);
  }
  // The sealed values of every request and every body answered.
  void addTraffic(const std::vector<gateway::RecordedRequest>& requests) {
    for (const auto& r : requests) {
      add(r.reply);
      if (const auto form = gateway::parseFormBody(r.body))
        for (const auto& [name, value] : *form) add(value);
    }
  }
};

// One gateway, and one fault kind for a run of calls.
void runLane(const FaultKind& kind, std::span<const Call> lane, Secrets& secrets, std::atomic<int>& cells) {
  TestGateway gw{TestGateway::Scheme::kHttps, {}};  // the template comes over https only
  for (const Call& call : lane) {
    SCOPED_TRACE(std::string(call.api) + ", " + kind.name);
    auto lib = cellClient(gw, call, isSlow(kind) ? kClientLimitSeconds : 10);
    if (call.user) {
      secrets.add(std::string(call.user->pwd));
      secrets.add(std::string(call.user->dlPwd));
    }
    secrets.add(lib->getAesKey());
    secrets.addTraffic(gw.gateway().requests());
    const ClientState before = stateOf(*lib);
    gw.gateway().clearRequests();
    gw.gateway().setFault(call.api, kind.fault);
    std::optional<std::string> errMsg;
    EXPECT_EQ(call.run(*lib, gw, errMsg), kind.noReply ? call.noReply : call.unreadable);
    gw.gateway().clearFaults();
    EXPECT_TRUE(stateOf(*lib) == before) << "the client stored something";
    secrets.addTraffic(gw.gateway().requests());
    ++cells;
  }
}

TEST(GatewayFaultMatrix, EveryCallFailsCleanlyUnderEveryFault) {
  TempDir home;
  ScopedEnv homeEnv("HOME", home.path.string());
  std::mutex logMutex;
  std::string log;
  setLogSink([&](std::string_view line) {
    std::lock_guard lock(logMutex);
    log.append(line).push_back('\n');
  });
  Secrets secrets;

  // One lane per fault kind, each on its own gateway; the slow kind, where
  // every cell waits for the client's limit, is spread over several lanes.
  constexpr size_t kSlowLaneCalls = 3;
  std::vector<std::thread> lanes;
  std::atomic<int> cells = 0;
  for (const FaultKind& kind : faultKinds()) {
    const size_t step = isSlow(kind) ? kSlowLaneCalls : calls().size();
    for (size_t first = 0; first < calls().size(); first += step) {
      const auto lane = std::span(calls()).subspan(first, std::min(step, calls().size() - first));
      lanes.emplace_back(runLane, std::cref(kind), lane, std::ref(secrets), std::ref(cells));
    }
  }
  for (auto& lane : lanes) lane.join();
  setLogSink({});
  EXPECT_EQ(cells, static_cast<int>(faultKinds().size() * calls().size()));

  ASSERT_NE(log.find("begin http"), std::string::npos);
  for (const auto& secret : secrets.texts) {
    const auto at = log.find(secret);
    EXPECT_EQ(at, std::string::npos) << secret << " in: " << log.substr(log.rfind('\n', at) + 1, 200);
  }
  // Key files: only the one each application and renewal made for its
  // request before sending it (kept: the gateway may have issued a
  // certificate for it). No page, no temporary file, nothing else.
  size_t keyFiles = 0;
  for (const auto& entry : fs::directory_iterator(home.path / ".plix")) {
    EXPECT_TRUE(KeyFileStore::isKeyFileName(entry.path().filename().string())) << entry.path();
    ++keyFiles;
  }
  EXPECT_EQ(keyFiles, 2 * faultKinds().size());
}

}  // namespace
}  // namespace karv::test
