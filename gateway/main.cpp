// karv-gateway: the development RA gateway as a program.
#include "DevGateway.h"

#include <pthread.h>
#include <csignal>
#include <cstring>
#include <iostream>
#include <string>

namespace {
constexpr char kUsage[] = R"(Usage: karv-gateway [options]
The development RA gateway for the KARV client.

  --port N        listen on 127.0.0.1:N (default: the build's port)
  --data DIR      keep state and the outbox in DIR (default: in memory)
  --config FILE   configuration overrides (key=value lines)
  --no-tls        plain HTTP instead of HTTPS
  --refuse-version  answer "checkVersion" with a refusal
  --help          this text
)";

}  // namespace

int main(int argc, char** argv) {
  auto options = karv::gateway::GatewayOptions::fromBuild();
  bool refuseVersion = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::cerr << "karv-gateway: " << arg << " needs a value\n";
        std::exit(2);
      }
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--port") {
      options.port = std::stoi(value());
    } else if (arg == "--data") {
      options.dataDir = value();
    } else if (arg == "--config") {
      options.configFile = value();
    } else if (arg == "--no-tls") {
      options.tls = false;
    } else if (arg == "--refuse-version") {
      refuseVersion = true;
    } else {
      std::cerr << "karv-gateway: unknown option " << arg << "\n" << kUsage;
      return 2;
    }
  }
  // Signals are taken by sigwait below, never by a handler in a server thread.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  karv::gateway::DevGateway gateway(options);
  gateway.setVersionAccepted(!refuseVersion);
  if (!gateway.start()) {
    std::cerr << "karv-gateway: cannot start (key files or port " << options.port << ")\n";
    return 1;
  }
  std::cout << "karv-gateway: serving on " << gateway.baseUrl() << std::endl;
  int signal = 0;
  sigwait(&stopSignals, &signal);
  gateway.stop();
  return 0;
}
