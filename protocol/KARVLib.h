#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "browsers/BrowserOpener.h"
#include "browsers/XdgBrowsers.h"
#include "protocol/EncryptedExchange.h"
#include "protocol/GatewayEndpoint.h"
#include "protocol/GatewayReply.h"
#include "protocol/ParamList.h"
#include "protocol/ReplyEnvelope.h"
#include "system/CommonUtility.h"

namespace karv {

using StringMap = std::map<std::string, std::string>;

// The protocol client: the session with the RA gateway, what the client knows
// about the logged-in user, the gateway's configuration, and every API call.
// One instance per program (plus a short-lived one for the first-login
// password change). Made on the UI thread; its calls may run on a worker
// thread, but on one thread at a time, and nothing else touches the client
// while a call runs.
class KARVLib {
 public:
  KARVLib();
  explicit KARVLib(GatewayEndpoint endpoint);
  virtual ~KARVLib() = default;
  KARVLib(const KARVLib&) = delete;
  KARVLib& operator=(const KARVLib&) = delete;

  // Result codes of the calls made in this file.
  static constexpr int32_t kVersionRejected = 53705;
  static constexpr int32_t kVersionNoReply = 53701;
  // "validateBtsCertDlPwd" rejected the certificate download password.
  static constexpr int32_t kCertDlPwdRejected = 56005;

  // --- Session and identity ---
  [[nodiscard]] const std::optional<std::string>& getSessionId() const { return httpSessionId_; }
  void setSessionId(std::optional<std::string> v) { httpSessionId_ = std::move(v); }
  [[nodiscard]] const std::optional<std::string>& getAesKey() const { return httpAesKey_; }
  void setAesKey(std::optional<std::string> v) { httpAesKey_ = std::move(v); }
  [[nodiscard]] const std::optional<std::string>& getCn() const { return currentUserCn_; }
  void setCn(std::optional<std::string> v) { currentUserCn_ = std::move(v); }
  [[nodiscard]] const std::optional<std::string>& getUserIdno() const { return currentUserIdno_; }
  void setUserIdno(std::optional<std::string> v) { currentUserIdno_ = std::move(v); }
  [[nodiscard]] const std::optional<std::string>& getAgcode() const { return currentAgcode_; }
  void setAgcode(std::optional<std::string> v) { currentAgcode_ = std::move(v); }
  [[nodiscard]] const std::optional<std::string>& getAccount() const { return currentAccount_; }
  void setAccount(std::optional<std::string> v) { currentAccount_ = std::move(v); }
  [[nodiscard]] const std::optional<std::string>& getCurrentPfxFilePath() const { return currentPfxFilePath_; }
  void setCurrentPfxFilePath(std::optional<std::string> v) { currentPfxFilePath_ = std::move(v); }
  [[nodiscard]] const std::optional<std::string>& getCurrentPfxFilePwd() const { return currentPfxFilePwd_; }
  void setCurrentPfxFilePwd(std::optional<std::string> v) { currentPfxFilePwd_ = std::move(v); }
  [[nodiscard]] const std::optional<StringMap>& getSvrCfg() const { return svrCfg_; }
  void setSvrCfg(std::optional<StringMap> v) { svrCfg_ = std::move(v); }

  [[nodiscard]] const GatewayEndpoint& endpoint() const { return endpoint_; }

  // --- Framing ---
  // Base URL + API name, with "SID:<id>/" in between once a session exists.
  [[nodiscard]] std::string getTargetUrl(const std::string& apiName) const;
  [[nodiscard]] int32_t httpPubKeyEncPost(const std::string& apiName, const ParamList& postParams,
                                          std::optional<std::string>& dataOut) const;
  // Returns 1 without sending when there is no session key.
  [[nodiscard]] int32_t httpAesEncPost(const std::string& apiName, const ParamList& postParams,
                                       std::optional<std::string>& dataOut) const;

  // Posts and opens the reply, envelope read.
  [[nodiscard]] GatewayReply postPubKey(const std::string& apiName, const ParamList& params) const;
  [[nodiscard]] GatewayReply postAes(const std::string& apiName, const ParamList& params) const;

  // --- Calls ---
  // 0 accepted, 53705 refused (or unreadable reply), 53701 no reply. errMsg is never written.
  [[nodiscard]] virtual int32_t versionCheck(std::optional<std::string>& errMsg);

  // --- Configuration, keep-alive, messages, update ---
  // The configuration text under the key, or none. Loads the configuration
  // first when it is not loaded (a failed load is retried at the next call);
  // "" only loads. Once the user's ID number is known, the first read also
  // fixes "env.userPfxFilePath" and the current PFX path (<home>/cert.pfx
  // unless the configured one is a .pfx path inside the home folder).
  [[nodiscard]] virtual std::optional<std::string> getSysCfg(const std::string& key);
  // Keep-alive in the AES regime; nothing is sent without a session key. Always 0.
  [[nodiscard]] virtual int32_t iAmAlive();
  // The KARVErrMsg text of a code; the code as decimal text when it has none.
  [[nodiscard]] virtual std::string getErrMsg(int32_t code) const;
  // Downloads the newer client from "app.mac.dlUrl", an https address of a
  // .deb package, to <home>/Downloads/<application name>.deb; the file's full
  // path, or "" when there was no such address, no bytes or no file.
  [[nodiscard]] virtual std::string dlNewClient();

  // The application's name for the installer file; the program's name until set.
  void setApplicationName(std::string name) { applicationName_ = std::move(name); }
  [[nodiscard]] std::string applicationName() const;

  // --- Login and account calls ---
  static constexpr int32_t kLoginRejected = 53907;
  static constexpr int32_t kFirstLoginChange = 53913;
  static constexpr int32_t kLogoutRejected = 54003;
  static constexpr int32_t kFnStatusNoCn = 54101;
  static constexpr int32_t kFnStatusRejected = 54103;
  static constexpr int32_t kSendAuthCodeFailed = 56001;
  static constexpr int32_t kVerifyAuthCodeFailed = 56003;
  static constexpr int32_t kContactInfoFailed = 56007;

  // idno, agCode and accNo go in and come back as the gateway returned them.
  [[nodiscard]] virtual int32_t login(std::optional<std::string>& idno, std::optional<std::string>& agCode,
                                      std::optional<std::string>& accNo, const std::optional<std::string>& pwd,
                                      std::optional<std::string>& errMsg, const std::string& loginType);
  [[nodiscard]] virtual int32_t changeBtsLoginPwd(const std::optional<std::string>& idno,
                                                  const std::optional<std::string>& oldPwd,
                                                  const std::optional<std::string>& newPwd,
                                                  std::optional<std::string>& errMsg);
  [[nodiscard]] virtual int32_t logout(const std::optional<std::string>& idno);
  [[nodiscard]] virtual int32_t getFnStatus(const std::string& cn, std::string& fnStatus, int32_t& certCount,
                                            int32_t& effectCertCount, std::optional<std::string>& errMsg);
  [[nodiscard]] virtual int32_t queryContactInfo(std::string& email, std::string& phone, std::string& birth,
                                                 std::optional<std::string>& errMsg);
  [[nodiscard]] virtual int32_t sendAuthCode(const std::string& mail, const std::string& phone,
                                             const std::string& authType, const std::string& opType,
                                             std::optional<std::string>& errMsg);
  [[nodiscard]] virtual int32_t validateBtsCertDlPwd(const std::string& pwd, std::optional<std::string>& errMsg);
  [[nodiscard]] virtual int32_t VerifyAuthCode(const std::string& authCode, const std::string& opType,
                                               std::optional<std::string>& errMsg);

  // --- Certificate calls ---
  static constexpr int32_t kRenewNotAllowed = 54303;
  static constexpr int32_t kActivateFailed = 54701;
  static constexpr int32_t kApplyFailed = 55015;
  static constexpr int32_t kRenewRejected = 55201;
  static constexpr int32_t kRevokeFailed = 55801;
  static constexpr int kNewKeyLength = 2048;
  // The PEM armour of a request: the BEGIN line and the line feed before END.
  static constexpr char kPemArmourPattern[] = "^-+[^-]+-+\n|\n-+[^-]+-+$";

  [[nodiscard]] virtual int32_t applyCert(const std::string& cn, std::string& b64PrivateKey, std::string& b64Cert,
                                          StringMap& certInfo, std::optional<std::string>& errMsg);
  [[nodiscard]] virtual int32_t renewCert(const std::string& cn, const std::string& pfxFilePath,
                                          const std::string& pfxFilePwd, std::string& b64Cert, StringMap& certInfo,
                                          std::optional<std::string>& errMsg);
  // With a record, "rvkCode" and "rvkMsg" are put into it on success.
  [[nodiscard]] virtual int32_t revokeCert(const std::string& cn, StringMap* certInfo,
                                           std::optional<std::string>& errMsg);
  // No "certPath" field is sent when pfxFilePath is absent. errMsg is never written.
  [[nodiscard]] virtual int32_t activeCert(int32_t certApplyId, const std::optional<std::string>& pfxFilePath,
                                           std::optional<std::string>& errMsg);
  // 0 also when the gateway rejects the query (no certificate to show).
  [[nodiscard]] virtual int32_t qrySvrCertInfo(const std::string& cn, std::optional<StringMap>& certInfo,
                                               std::optional<std::string>& errMsg);
  [[nodiscard]] virtual std::optional<StringMap> getLastActiveCertInfo(const std::string& cn);
  [[nodiscard]] virtual int32_t qryClntCertInfo(const std::string& cn, const std::string& pfxFilePath,
                                                const std::string& pfxFilePwd, StringMap& certInfo,
                                                std::optional<std::string>& errMsg);
  // The request text without its PEM armour (inner and final line feeds kept).
  [[nodiscard]] static std::string stripPemArmour(const std::string& pem);

  // --- Browser deployment ---
  // The installed browsers, each with "selected" from the configuration.
  [[nodiscard]] virtual std::vector<BrowserRecord> getDefaultSelectedBrowserInfo();
  // Imports the .pfx into the certificate databases of the listed browsers'
  // families, then writes the installation page from the gateway's template
  // and opens it in each browser of the list. 0 done; 1 no browser, no
  // template, the page not written or an import failed (the import is done
  // all the same); the .pfx's code when it does not open.
  [[nodiscard]] virtual int32_t deployCert(const std::string& pfxFilePath, const std::string& pfxFilePwd,
                                           const std::vector<BrowserRecord>& browserInfo);
  // Deletes the certificate the gateway's record names, and its key, from
  // the installed browsers' databases, then writes the removal page for that
  // record and opens it in every installed browser. 0 done; 1 no browser, no
  // template, the page not written or a deletion failed; the query's code
  // when it failed.
  [[nodiscard]] virtual int32_t removeDeploiedCert(const std::string& cn);
  // How pages are opened in a given browser (the desktop's way by default).
  void setBrowserOpener(std::shared_ptr<BrowserOpener> opener) { browserOpener_ = std::move(opener); }

 private:
  // Asks the gateway for its configuration and completes it with the client's
  // entries; false (nothing stored) when the gateway did not give it.
  bool loadSysCfg();
  void fixUserPfxFilePath(StringMap& cfg);
  // The deployment template as text; none when it did not come (or came as
  // an error page), is too large, is not Big5 or has no placeholder.
  [[nodiscard]] std::optional<std::string> downloadDeployTemplate();
  void openInBrowsers(const std::vector<BrowserRecord>& browsers, const std::string& url);

  std::string applicationName_;
  GatewayEndpoint endpoint_;
  EncryptedExchange exchange_;

  std::optional<std::string> httpSessionId_;
  std::optional<std::string> httpAesKey_;
  std::optional<std::string> currentUserCn_;
  std::optional<std::string> currentUserIdno_;
  std::optional<std::string> currentAgcode_;
  std::optional<std::string> currentAccount_;
  std::optional<std::string> currentPfxFilePath_;
  std::optional<std::string> currentPfxFilePwd_;
  std::optional<StringMap> svrCfg_;
  std::shared_ptr<BrowserOpener> browserOpener_ = std::make_shared<XdgBrowserOpener>();
};

}  // namespace karv
