#pragma once
#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace karv::gateway {

enum class Regime { PublicKey, Aes };

// The gateway's idea of "now" (seconds since the epoch); tests inject their own.
using Clock = std::function<std::time_t()>;

struct Session {
  std::string id;
  std::string aesKey;
  std::string userKey;         // which user logged in (the store's key: the ID number)
  bool mustChangePwd = false;  // a first login: only logout and keep-alive until the change
  std::time_t lastSeen = 0;
  std::set<std::string> verifiedFor{};  // operation types ("Apply", "Revoke") the user proved identity for
};

// One decoded API call.
struct ApiRequest {
  std::string api;
  std::map<std::string, std::string> params;  // decrypted values
  Session* session = nullptr;                 // from "SID:" in the URL, when known

  // The value of a parameter, or none when it was not sent.
  [[nodiscard]] std::optional<std::string> param(const std::string& name) const;
};

// What an API answers: the envelope and the result fields, in order.
struct ApiReply {
  using Fields = std::vector<std::pair<std::string, std::string>>;
  std::string rtnCode = "0";
  std::string rtnMsg;
  Fields fields;
  std::vector<std::pair<std::string, Fields>> groups;  // elements with leaf children, after the fields

  static ApiReply ok(std::string msg = "成功") { return ApiReply{"0", std::move(msg), {}, {}}; }
  static ApiReply reject(std::string code, std::string msg) {
    return ApiReply{std::move(code), std::move(msg), {}, {}};
  }
  ApiReply& add(std::string name, std::string value) {
    fields.emplace_back(std::move(name), std::move(value));
    return *this;
  }
  ApiReply& addGroup(std::string name, Fields children) {
    groups.emplace_back(std::move(name), std::move(children));
    return *this;
  }
  [[nodiscard]] bool accepted() const { return rtnCode == "0"; }
  // <Root><rtnCode/><rtnMsg/>fields...groups...</Root> with text escaped.
  [[nodiscard]] std::string toXml() const;
};

// A chosen misbehaviour of one API, for tests.
struct Fault {
  enum class Kind {
    Reply,        // answer rtnCode / rtnMsg (sealed as usual); both empty: only the delay
    EmptyBody,    // HTTP 200 with no body
    RawBody,      // this exact body, not sealed
    PlainReply,   // these exact plain bytes, sealed as usual (not Big5-encoded)
    Garbage,      // a body that is not base64
    NoAnswer,     // close the connection without a response
    WrongRsaKey,  // body (default: an accepting reply) sealed with an RSA key that is not the gateway's
    WrongAesKey,  // body (default: an accepting reply) sealed with an AES key that is not the session's
    ServerError,  // HTTP 500 with body (default: the error page of a web server), not sealed
  };
  Kind kind = Kind::Reply;
  std::string rtnCode;
  std::string rtnMsg;
  std::string body;
  int delayMs = 0;  // wait this long before answering (any kind): a slow answer

  static Fault reply(std::string code, std::string msg) {
    return make(Kind::Reply, std::move(code), std::move(msg), {});
  }
  static Fault emptyBody() { return make(Kind::EmptyBody, {}, {}, {}); }
  static Fault rawBody(std::string body) { return make(Kind::RawBody, {}, {}, std::move(body)); }
  static Fault plainReply(std::string text) { return make(Kind::PlainReply, {}, {}, std::move(text)); }
  static Fault garbage() { return make(Kind::Garbage, {}, {}, {}); }
  static Fault noAnswer() { return make(Kind::NoAnswer, {}, {}, {}); }
  static Fault wrongRsaKey(std::string plain = {}) { return make(Kind::WrongRsaKey, {}, {}, std::move(plain)); }
  static Fault wrongAesKey(std::string plain = {}) { return make(Kind::WrongAesKey, {}, {}, std::move(plain)); }
  static Fault serverError(std::string body = {}) { return make(Kind::ServerError, {}, {}, std::move(body)); }
  // Answers normally, but only after ms milliseconds.
  static Fault slow(int ms) {
    Fault f = make(Kind::Reply, {}, {}, {});
    f.delayMs = ms;
    return f;
  }

 private:
  static Fault make(Kind kind, std::string code, std::string msg, std::string body) {
    Fault f;
    f.kind = kind;
    f.rtnCode = std::move(code);
    f.rtnMsg = std::move(msg);
    f.body = std::move(body);
    return f;
  }
};

// What reached the gateway, before decryption.
struct RecordedRequest {
  std::string method;
  std::string path;
  std::string query;  // raw text after "?"
  std::string body;
  std::string contentType;
  std::string api;
  std::optional<std::string> sessionId;
  std::map<std::string, std::string> params;  // decrypted, when they opened
  std::string reply;                          // the body answered, as sent
};

}  // namespace karv::gateway
