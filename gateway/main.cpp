// karv-gateway: the development RA gateway as a program.
#include <pthread.h>

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>

#include "gateway/DevGateway.h"

namespace {
constexpr char kUsage[] = R"(Usage: karv-gateway [options]
The development RA gateway for the KARV client (see gateway/README.md).

  --port N          listen on 127.0.0.1:N (default: the build's port; 0: any free port)
  --data DIR        keep state, outbox, CA and demo certificates in DIR
                    (default: in memory, gone at exit)
  --config FILE     settings over the built-in ones (key=value lines)
  --users FILE      demo users (default: gateway/demo-users.txt)
  --no-tls          plain HTTP instead of HTTPS
  --refuse-version  answer "checkVersion" with a refusal
  --help            this text
)";

[[noreturn]] void usageError(const std::string& message) {
  std::cerr << "karv-gateway: " << message << "\n" << kUsage;
  std::exit(2);
}

int portNumber(const std::string& text) {
  char* end = nullptr;
  const long port = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || port < 0 || port > 65535) usageError("bad port " + text);
  return static_cast<int>(port);
}
}  // namespace

int main(int argc, char** argv) {
  auto options = karv::gateway::GatewayOptions::fromBuild();
  bool refuseVersion = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) usageError(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--port") {
      options.port = portNumber(value());
    } else if (arg == "--data") {
      options.dataDir = value();
    } else if (arg == "--config") {
      options.configFile = value();
    } else if (arg == "--users") {
      options.usersFile = value();
    } else if (arg == "--no-tls") {
      options.tls = false;
    } else if (arg == "--refuse-version") {
      refuseVersion = true;
    } else {
      usageError("unknown option " + arg);
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
    std::cerr << "karv-gateway: cannot start: " << gateway.lastError() << "\n";
    return 1;
  }
  std::cout << "karv-gateway: serving on " << gateway.baseUrl() << "\n";
  if (options.dataDir.empty())
    std::cout << "karv-gateway: state in memory; verification codes appear below\n";
  else
    std::cout << "karv-gateway: state in " << options.dataDir << "/state.txt, verification codes in " << options.dataDir
              << "/outbox.txt\n";
  std::cout << std::flush;
  int signal = 0;
  sigwait(&stopSignals, &signal);
  gateway.stop();
  return 0;
}
