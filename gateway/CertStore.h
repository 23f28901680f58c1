#pragma once
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "crypto/OpenSslHandles.h"

namespace karv::gateway {

enum class CertState {
  Issued,  // handed to the client, waiting for "activeCert"
  Active,  // the user's current certificate
  Revoked,
  Superseded,  // was active, replaced by a renewal or a new application
  Withdrawn,   // was issued, replaced by a reissue before it was activated
};
enum class CertKind { Apply, Renew };

struct CertRecord {
  long id = 0;  // the "certId" of the replies, "certApplyId" of "activeCert"
  std::string idno;
  CertKind kind = CertKind::Apply;
  CertState state = CertState::Issued;
  bool installed = false;  // "actFlg"
  std::string certPath;    // where the client said it saved the file
  X509Ptr cert;
};

// Every certificate the gateway issued, by id.
class CertStore {
 public:
  CertRecord& add(const std::string& idno, CertKind kind, X509Ptr cert);
  // Restoring from the state file: the record keeps its id.
  CertRecord& restore(CertRecord record);

  [[nodiscard]] CertRecord* find(long id);
  // The user's current certificate, or none.
  [[nodiscard]] CertRecord* active(const std::string& idno);
  // The issued certificate of this kind that waits for activation, or none.
  [[nodiscard]] CertRecord* pending(const std::string& idno, CertKind kind);
  // The newest certificate the user holds (one that was activated), or none.
  [[nodiscard]] CertRecord* latestHeld(const std::string& idno);
  [[nodiscard]] std::vector<const CertRecord*> ofUser(const std::string& idno) const;
  [[nodiscard]] bool serialInUse(const std::string& serialHex) const;

  [[nodiscard]] const std::map<long, CertRecord>& all() const { return records_; }
  [[nodiscard]] long nextId() const { return nextId_; }
  void setNextId(long id) { nextId_ = id; }

 private:
  std::map<long, CertRecord> records_;
  long nextId_ = 1001;
};

// What "getFnStatus" answers for a user.
struct FunctionStatus {
  std::string fnStatus;  // application digit, renewal digit
  int certCount = 0;
  int effectCertCount = 0;
};

// Application: "2" while an issued certificate awaits activation, "0" while
// the user has a certificate in effect, "1" otherwise. Renewal: "2" while a
// renewed certificate awaits activation, "1" when the certificate in effect
// expires within renewWithinDays, "0" otherwise. certCount counts every
// certificate the user holds (every one that was activated),
// effectCertCount those in effect (active and not expired).
[[nodiscard]] FunctionStatus functionStatus(CertStore& store, const std::string& idno, std::time_t now,
                                            long renewWithinDays);
[[nodiscard]] bool inEffect(const CertRecord& record, std::time_t now);
[[nodiscard]] bool wasActivated(const CertRecord& record);

}  // namespace karv::gateway
