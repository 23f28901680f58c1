#include "support/ClientCertEchoServer.h"

#include <httplib.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include "crypto/OpenSslHandles.h"
#include "gateway/DevGateway.h"

namespace karv::test {
namespace {

// Loads the CAs as trust anchors for client certificates and names each in the request.
bool trustClientCas(SSL_CTX& ctx, const std::string& pem) {
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  STACK_OF(X509_NAME)* names = sk_X509_NAME_new_null();
  X509_STORE* store = SSL_CTX_get_cert_store(&ctx);
  int count = 0;
  while (X509Ptr ca{PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)}) {
    if (X509_STORE_add_cert(store, ca.get()) != 1) break;
    sk_X509_NAME_push(names, X509_NAME_dup(X509_get_subject_name(ca.get())));
    ++count;
  }
  SSL_CTX_set_client_CA_list(&ctx, names);
  return count > 0;
}

std::string commonNameOf(X509* cert) {
  char cn[256] = {};
  const int length = X509_NAME_get_text_by_NID(X509_get_subject_name(cert), NID_commonName, cn, sizeof cn);
  return length > 0 ? std::string(cn, static_cast<size_t>(length)) : std::string();
}

}  // namespace

ClientCertEchoServer::ClientCertEchoServer(std::string clientCaPem) : clientCaPem_(std::move(clientCaPem)) {
  const auto tls = gateway::GatewayOptions::fromBuild();
  server_ = std::make_unique<httplib::SSLServer>([&](SSL_CTX& ctx) {
    // Asked for, not demanded: a visitor without one completes the handshake
    // (and gets no page); one that does not verify ends it.
    SSL_CTX_set_verify(&ctx, SSL_VERIFY_PEER, nullptr);
    return SSL_CTX_use_certificate_chain_file(&ctx, tls.tlsCertFile.c_str()) == 1 &&
           SSL_CTX_use_PrivateKey_file(&ctx, tls.tlsKeyFile.c_str(), SSL_FILETYPE_PEM) == 1 &&
           trustClientCas(ctx, clientCaPem_);
  });
  server_->Get(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) {
    X509Ptr peer{SSL_get1_peer_certificate(req.ssl)};
    const std::string cn = peer && SSL_get_verify_result(req.ssl) == X509_V_OK ? commonNameOf(peer.get()) : "";
    {
      const std::lock_guard lock(mutex_);
      visitors_.push_back(cn);
    }
    if (cn.empty()) {
      res.status = 403;
      res.set_content("<html><body><p id=\"visitor\">no certificate</p></body></html>", "text/html");
    } else {
      res.set_content("<html><body><p id=\"visitor\">signed in: " + cn + "</p></body></html>", "text/html");
    }
  });
  if (!server_->is_valid()) return;
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) return;
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // The socket listens already; wait for the accept loop so stop() cannot miss it.
  while (!server_->is_running()) std::this_thread::yield();
}

ClientCertEchoServer::~ClientCertEchoServer() {
  server_->stop();
  if (thread_.joinable()) thread_.join();
}

std::vector<std::string> ClientCertEchoServer::takeVisitors() {
  const std::lock_guard lock(mutex_);
  return std::exchange(visitors_, {});
}

}  // namespace karv::test
