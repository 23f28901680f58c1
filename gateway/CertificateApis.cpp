#include <cstdlib>

#include "gateway/CertFormat.h"
#include "gateway/GatewayApis.h"
#include "gateway/GatewayContext.h"
#include "gateway/GatewayRandom.h"
#include "gateway/RequestChecks.h"

namespace karv::gateway {
using namespace rejections;

namespace {
constexpr long kDay = 86400;

FunctionStatus statusOf(GatewayContext& ctx, const UserAccount& user) {
  return functionStatus(ctx.certs, user.demo.idno, ctx.now(), ctx.config.getNumber(cfg::kRenewWithinDays, 30));
}

bool verificationMissing(GatewayContext& ctx, const ApiRequest& r, const char* opType) {
  return ctx.config.isYes(cfg::kRequireVerification) && !r.session->verifiedFor.count(opType);
}

// The checked request's key, or the refusal.
std::optional<ApiReply> keyFromCsr(const std::string& csrText, const std::string& cn, PkeyPtr& key) {
  X509ReqPtr req = parseClientCsr(csrText);
  if (!req) return kBadCsr.reply();
  switch (checkCsr(req.get(), cn)) {
    case CsrVerdict::Ok:
      break;
    case CsrVerdict::Malformed:
      return kBadCsr.reply();
    case CsrVerdict::BadSignature:
      return kCsrSignature.reply();
    case CsrVerdict::WrongCn:
      return kCsrCnMismatch.reply();
  }
  key.reset(X509_REQ_get_pubkey(req.get()));
  return std::nullopt;
}

// A new certificate for the key, waiting for activation; an earlier one of
// the same kind that still waits is replaced by it.
CertRecord* issue(GatewayContext& ctx, const UserAccount& user, CertKind kind, EVP_PKEY* key) {
  std::uint64_t serial = randomSerial();
  while (ctx.certs.serialInUse(serialHexOf(serial))) serial = randomSerial();
  const std::time_t now = ctx.now();
  X509Ptr cert = ctx.ca->issue(key, user.demo.cn, now - 60,
                               now + ctx.config.getNumber(cfg::kCertValidityDays, 365) * kDay, serial);
  if (!cert) return nullptr;
  if (CertRecord* earlier = ctx.certs.pending(user.demo.idno, kind)) earlier->state = CertState::Withdrawn;
  return &ctx.certs.add(user.demo.idno, kind, std::move(cert));
}

ApiReply::Fields certInfoFields(const CertRecord& r) {
  const X509* c = r.cert.get();
  return {{"certId", std::to_string(r.id)},
          {"cn", nameEntry(X509_get_subject_name(c), NID_commonName)},
          {"issuer", oneLineName(X509_get_issuer_name(c))},
          {"serial", serialHex(c)},
          {"notBefore", localTime14(notBefore(c))},
          {"notAfter", localTime14(notAfter(c))}};
}

// The certificate reply: "cert" as DER or as a PKCS#7 chain, and "certInfo".
ApiReply issuedReply(GatewayContext& ctx, const CertRecord& r, const char* formKey) {
  const X509* c = r.cert.get();
  const std::string cert =
      ctx.config.get(formKey) == "der" ? derBase64(c) : pkcs7Base64({c, ctx.ca->issuing(), ctx.ca->root()});
  return ApiReply::ok("憑證已簽發").add("cert", cert).addGroup("certInfo", certInfoFields(r));
}

// Issues for a fresh request, or (empty request) again for the key of the
// certificate that waits, commits, and answers with the certificate.
ApiReply issueAndReply(GatewayContext& ctx, const UserAccount& user, CertKind kind, const std::string& csr,
                       const char* formKey) {
  PkeyPtr key;
  if (!csr.empty()) {
    if (auto refused = keyFromCsr(csr, user.demo.cn, key)) return *refused;
  } else if (CertRecord* waiting = ctx.certs.pending(user.demo.idno, kind)) {
    key.reset(X509_get_pubkey(waiting->cert.get()));
  }
  if (!key) return kIssueFailed.reply();
  CertRecord* record = issue(ctx, user, kind, key.get());
  if (!record) return kIssueFailed.reply();
  if (!ctx.commit()) return kStateNotSaved.reply();
  return issuedReply(ctx, *record, formKey);
}

// "state" and "stateMessage" as the server table shows them (of a certificate that was activated).
std::pair<std::string, std::string> displayState(const CertRecord& r, std::time_t now) {
  if (r.state == CertState::Revoked) return {"2", "已廢止"};
  if (r.state == CertState::Superseded) return {"4", "已更新"};
  if (inEffect(r, now)) return {"1", "有效"};
  return {"3", "已過期"};
}

}  // namespace

ApiReply getFnStatus(GatewayContext& ctx, ApiRequest& r) {
  UserAccount* user = nullptr;
  if (auto refused = ctx.identifyCaller(r, {"cn"}, user)) return *refused;
  const FunctionStatus s = statusOf(ctx, *user);
  return ApiReply::ok()
      .add("fnStatus", s.fnStatus)
      .add("certCount", std::to_string(s.certCount))
      .add("effectCertCount", std::to_string(s.effectCertCount));
}

ApiReply applyCert(GatewayContext& ctx, ApiRequest& r) {
  UserAccount* user = nullptr;
  if (auto refused = ctx.identifyCaller(r, {"csr", "userId"}, user)) return *refused;
  if (verificationMissing(ctx, r, "Apply")) return kNotVerified.reply();
  const char state = statusOf(ctx, *user).fnStatus[0];
  const std::string& csr = r.params["csr"];
  if (state == '0' || (csr.empty() && state != '2')) return kApplyNotAllowed.reply();
  ApiReply reply = issueAndReply(ctx, *user, CertKind::Apply, csr, cfg::kApplyCertForm);
  if (reply.accepted()) r.session->verifiedFor.erase("Apply");  // one verification, one application
  return reply;
}

ApiReply renewCert(GatewayContext& ctx, ApiRequest& r) {
  UserAccount* user = nullptr;
  if (auto refused = ctx.identifyCaller(r, {"hexSerial", "csr", "sign"}, user)) return *refused;
  CertRecord* current = ctx.certs.active(user->demo.idno);
  if (!current || !inEffect(*current, ctx.now())) return kNoActiveCert.reply();
  if (r.params["hexSerial"] != serialHex(current->cert.get())) return kSerialMismatch.reply();
  const char state = statusOf(ctx, *user).fnStatus[1];
  const std::string& csr = r.params["csr"];
  if (state == '0' || (csr.empty() && state != '2')) return kRenewNotAllowed.reply();
  if (!csr.empty() && !verifyRenewalSignature(r.params["sign"], csr, current->cert.get()))
    return kRenewSignature.reply();
  return issueAndReply(ctx, *user, CertKind::Renew, csr, cfg::kRenewCertForm);
}

ApiReply revokeCert(GatewayContext& ctx, ApiRequest& r) {
  UserAccount* user = nullptr;
  if (auto refused = ctx.identifyCaller(r, {"cn"}, user)) return *refused;
  if (verificationMissing(ctx, r, "Revoke")) return kNotVerified.reply();
  CertRecord* current = ctx.certs.active(user->demo.idno);
  if (!current) return kNoActiveCert.reply();
  current->state = CertState::Revoked;
  // A renewal of the revoked certificate must not bring it back.
  if (CertRecord* renewal = ctx.certs.pending(user->demo.idno, CertKind::Renew)) renewal->state = CertState::Withdrawn;
  if (!ctx.commit()) return kStateNotSaved.reply();
  r.session->verifiedFor.erase("Revoke");
  return ApiReply::ok("憑證廢止成功");
}

ApiReply activeCert(GatewayContext& ctx, ApiRequest& r) {
  UserAccount* user = nullptr;
  if (auto refused = ctx.identifyCaller(r, {"certApplyId"}, user)) return *refused;
  const std::string& idText = r.params["certApplyId"];
  char* end = nullptr;
  const long id = std::strtol(idText.c_str(), &end, 10);
  CertRecord* record = (idText.empty() || *end != '\0') ? nullptr : ctx.certs.find(id);
  if (!record || record->idno != user->demo.idno) return kNoSuchApplication.reply();
  if (record->state == CertState::Active) return ApiReply::ok("憑證已啟用");  // a repeated report
  if (record->state != CertState::Issued) return kNoSuchApplication.reply();
  if (CertRecord* previous = ctx.certs.active(user->demo.idno)) previous->state = CertState::Superseded;
  record->state = CertState::Active;
  record->installed = true;
  if (auto path = r.param("certPath")) record->certPath = *path;
  if (!ctx.commit()) return kStateNotSaved.reply();
  return ApiReply::ok("憑證已啟用");
}

ApiReply qryCert(GatewayContext& ctx, ApiRequest& r) {
  UserAccount* user = nullptr;
  if (auto refused = ctx.identifyCaller(r, {"cn"}, user)) return *refused;
  CertRecord* record = ctx.certs.active(user->demo.idno);
  if (!record) record = ctx.certs.latestHeld(user->demo.idno);
  if (!record) return kNoCertificate.reply();
  const auto [state, message] = displayState(*record, ctx.now());
  ApiReply reply = ApiReply::ok();
  reply.add("certUserId", user->demo.idno);
  for (auto& [name, value] : certInfoFields(*record)) reply.add(name, value);
  return reply.add("state", state)
      .add("stateMessage", message)
      .add("actFlg", record->installed ? "Y" : "N")
      .add("subject", oneLineName(X509_get_subject_name(record->cert.get())));
}

ApiReply qryLastActiveCert(GatewayContext& ctx, ApiRequest& r) {
  UserAccount* user = nullptr;
  if (auto refused = ctx.identifyCaller(r, {"cn"}, user)) return *refused;
  CertRecord* current = ctx.certs.active(user->demo.idno);
  if (!current || !inEffect(*current, ctx.now())) return kNoActiveCert.reply();
  ApiReply reply = ApiReply::ok();
  for (auto& [name, value] : certInfoFields(*current)) reply.add(name, value);
  return reply.add("hexSerial", serialHex(current->cert.get()));
}

}  // namespace karv::gateway
