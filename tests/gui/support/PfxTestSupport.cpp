#include "PfxTestSupport.h"

#include <QPushButton>

namespace karv::test {

void confirmSavePfx(app::SavePfxWindowController* dialog, const QString& pwd, const std::optional<QString>& confirm) {
  typeInto(control<QLineEdit>(dialog, "txtPfxPwd"), pwd);
  typeInto(control<QLineEdit>(dialog, "txtPfxPwdCfm"), confirm.value_or(pwd));
  click(control<QPushButton>(dialog, "btnOK"));
}

void confirmLoadPfx(app::LoadPfxWindowController* dialog, const QString& pwd) {
  typeInto(control<QLineEdit>(dialog, "txtPfxFilePwd"), pwd);
  click(control<QPushButton>(dialog, "btnOk"));
}

void confirmChgPfxPwd(app::ChgPfxPwdWindowController* dialog, const QString& oldPwd, const QString& newPwd,
                      const std::optional<QString>& confirm) {
  typeInto(control<QLineEdit>(dialog, "txtOldPwd"), oldPwd);
  typeInto(control<QLineEdit>(dialog, "txtNewPwd"), newPwd);
  typeInto(control<QLineEdit>(dialog, "txtNewPwdCfm"), confirm.value_or(newPwd));
  click(control<QPushButton>(dialog, "btnOK"));
}

std::optional<IssuedCertificate> issueCertificate(AppHarness& h, const DemoUserRef& user) {
  KARVLib& lib = *h.app().getKARVlib();
  std::optional<std::string> errMsg;
  if (lib.sendAuthCode(user.email, user.phone, "1", "Apply", errMsg) != 0) return std::nullopt;
  const auto sent = h.lastOutboxMessage();
  if (!sent || lib.VerifyAuthCode(sent->code, "Apply", errMsg) != 0) return std::nullopt;
  std::string key, cert;
  StringMap certInfo;
  if (lib.applyCert(user.cn, key, cert, certInfo, errMsg) != 0) return std::nullopt;
  return IssuedCertificate{QString::fromStdString(cert), QString::fromStdString(key), certInfo};
}

QString demoPfxPath(AppHarness& h, const DemoUserRef& user) {
  return QString::fromStdString(h.gateway().options().dataDir + "/demo-certs/" + user.idno + ".pfx");
}

}  // namespace karv::test
