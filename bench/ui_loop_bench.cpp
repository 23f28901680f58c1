// How long the window stands still while the controller waits: the longest
// gap between two turns of the UI event loop during a slow gateway answer, a
// login, a key pair with its request (createCSR) and a .pfx write, with the
// blocking-work helper on and off. The real controller runs headless against
// an in-process development gateway, in a temporary home folder.
//
//   ui_loop_bench [key-runs]   (createCSR is timed key-runs times, default 5)
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "GuiTestSupport.h"
#include "crypto/PfxWriter.h"
#include "crypto/RSAUtility.h"
#include "support/TestFiles.h"

using karv::gateway::Fault;
using namespace karv::test;

namespace {

constexpr int kSlowAnswerMs = 2000;

struct Figures {
  double longestGapMs = 0;
  double callMs = 0;
};

// A 1 ms timer on the UI thread; the gaps between its ticks are the turns of
// the event loop.
class LoopProbe {
 public:
  LoopProbe() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(1);
    QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    timer_.start();
    clock_.start();
  }

  template <class Work>
  Figures measure(Work&& work) {
    const qint64 start = clock_.nsecsElapsed();
    last_ = start;
    longest_ = 0;
    work();
    tick();
    return {longest_ / 1e6, (clock_.nsecsElapsed() - start) / 1e6};
  }

 private:
  void tick() {
    const qint64 now = clock_.nsecsElapsed();
    longest_ = std::max(longest_, now - last_);
    last_ = now;
  }

  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = 0;
  qint64 longest_ = 0;
};

struct Phase {
  std::string name;
  Figures figures;
};

// Worst gap and mean duration over the runs.
Figures worstOf(const std::vector<Figures>& runs) {
  Figures out;
  for (const Figures& f : runs) {
    out.longestGapMs = std::max(out.longestGapMs, f.longestGapMs);
    out.callMs += f.callMs / static_cast<double>(runs.size());
  }
  return out;
}

std::vector<Phase> measureAll(bool helperOn, int keyRuns, const std::string& home) {
  AppHarness h(AppHarness::Scheme::Http, /*ownHome=*/false);  // the home and XDG folders main() set up
  karv::app::AppDelegate& app = h.app();
  app.blockingWork().setEnabled(helperOn);
  h.launch();
  LoopProbe probe;
  std::vector<Phase> phases;

  // What the machine allows at best: the worker only sleeps.
  phases.push_back({"worker sleeps 0.5 s (floor)", probe.measure([&] {
                      app.runBlocking([] { std::this_thread::sleep_for(std::chrono::milliseconds(500)); });
                    })});

  h.gateway().setFault("checkVersion", Fault::slow(kSlowAnswerMs));
  phases.push_back({"slow answer (2 s)", probe.measure([&] { app.doVersionCheck(); })});
  h.gateway().clearFaults();

  phases.push_back({"login", probe.measure([&] {
                      if (!h.logIn(demo::kAlice)) qFatal("login failed");
                    })});

  std::vector<Figures> keys;
  for (int i = 0; i < keyRuns; ++i) {
    keys.push_back(probe.measure([&] {
      std::string csr;
      std::string key;
      if (app.runBlocking([&] { return karv::RSAUtility().createCSR(demo::kAlice.cn, 2048, csr, key); }) != 0)
        qFatal("createCSR failed");
    }));
  }
  phases.push_back({"createCSR (RSA 2048, worst of " + std::to_string(keyRuns) + ")", worstOf(keys)});

  // The certificate to save comes from a real application, verified by the
  // download password.
  karv::KARVLib* lib = app.getKARVlib();
  std::string key;
  std::string cert;
  karv::StringMap info;
  std::optional<std::string> errMsg;
  const bool applied = app.runBlocking([&] {
    return lib->validateBtsCertDlPwd(demo::kAlice.dlPwd, errMsg) == 0 &&
           lib->applyCert(demo::kAlice.cn, key, cert, info, errMsg) == 0;
  });
  if (!applied || cert.empty()) qFatal("applyCert failed: %s", errMsg.value_or("").c_str());
  const std::string pfx = home + "/bench.pfx";
  phases.push_back({".pfx write", probe.measure([&] {
                      if (app.runBlocking([&] { return karv::PfxWriter().saveWithStoredKey(cert, pfx, "Bench1234"); }))
                        qFatal(".pfx write failed");
                    })});
  return phases;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const TempDir home;
  const ScopedEnv homeEnv("HOME", home.path.string());
  const ScopedEnv configEnv("XDG_CONFIG_HOME", home / ".config");
  const ScopedEnv dataEnv("XDG_DATA_HOME", home / ".local/share");
  QApplication qapp(argc, argv);
  const int keyRuns =
      argc > 1 && std::isdigit(static_cast<unsigned char>(argv[1][0])) ? std::max(1, std::atoi(argv[1])) : 5;

  const std::vector<Phase> on = measureAll(true, keyRuns, home.path.string());
  const std::vector<Phase> off = measureAll(false, keyRuns, home.path.string());

  std::printf("Longest gap between two turns of the UI event loop (ms); target with the helper: < 50 ms\n");
  std::printf("%-38s %12s %12s %12s\n", "during", "helper on", "helper off", "call (on)");
  for (size_t i = 0; i < on.size(); ++i)
    std::printf("%-38s %12.1f %12.1f %12.1f\n", on[i].name.c_str(), on[i].figures.longestGapMs,
                off[i].figures.longestGapMs, on[i].figures.callMs);
  return 0;
}
