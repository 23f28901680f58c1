#pragma once
// A site on loopback that signs its visitors in with a client certificate:
// TLS with the development server certificate, asking every client for a
// certificate issued by the given CAs, and answering with the common name of
// the one it received.
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class SSLServer;
}

namespace karv::test {

class ClientCertEchoServer {
 public:
  // `clientCaPem`: the CAs whose certificates sign a visitor in (PEM, all of
  // them named in the certificate request). A visitor without a certificate
  // completes the handshake and is refused the page, so a browser that came
  // but presented none is seen too.
  explicit ClientCertEchoServer(std::string clientCaPem);
  ~ClientCertEchoServer();
  ClientCertEchoServer(const ClientCertEchoServer&) = delete;
  ClientCertEchoServer& operator=(const ClientCertEchoServer&) = delete;

  [[nodiscard]] bool running() const { return port_ > 0; }
  [[nodiscard]] std::string origin() const { return "https://127.0.0.1:" + std::to_string(port_); }
  // The common name each request since the last call presented ("" for none), in order.
  [[nodiscard]] std::vector<std::string> takeVisitors();

 private:
  std::string clientCaPem_;
  std::unique_ptr<httplib::SSLServer> server_;
  std::thread thread_;
  int port_ = -1;
  std::mutex mutex_;
  std::vector<std::string> visitors_;
};

}  // namespace karv::test
