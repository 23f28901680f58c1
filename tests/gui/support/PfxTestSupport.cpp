#include "PfxTestSupport.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include "RSAUtility.h"

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

QString UserSession::currentPath() {
  return QString::fromStdString(h.app().getKARVlib()->getCurrentPfxFilePath().value_or(""));
}

QString UserSession::currentPwd() {
  return QString::fromStdString(h.app().getKARVlib()->getCurrentPfxFilePwd().value_or(""));
}

QString UserSession::copyDemoPfx(const DemoUserRef& user, const QString& relative) {
  const QString target = path(relative);
  QDir().mkpath(QFileInfo(target).path());
  QFile::copy(demoPfxPath(h, user), target);
  return target;
}

bool UserSession::showsOnly(const QString& message, QDialog* dialog) {
  const bool ok = h.alerts().texts() == QStringList{message} && h.alerts().shown().first().title == "錯誤" &&
                  dialog->isVisible() && codes.isEmpty();
  h.alerts().clear();
  return ok;
}

QByteArray bytesOf(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

ToolResult openssl(std::vector<std::string> args) {
  args.insert(args.begin(), "openssl");
  return runTool(args);
}

ToolResult pkcs12Certs(const QString& path, const QString& pwd) {
  return openssl({"pkcs12", "-in", path.toStdString(), "-passin", "pass:" + pwd.toStdString(), "-nokeys"});
}

StringMap certInfoOf(const QString& path, const QString& pwd) {
  StringMap info;
  (void)RSAUtility().loadPfx(path.toStdString(), pwd.toStdString(), info);
  return info;
}

PfxByOpenssl readPfxWithOpenssl(const QString& path, const QString& pwd, const std::string& caPem) {
  PfxByOpenssl found;
  QTemporaryDir dir;
  const std::string pem = dir.filePath("user.pem").toStdString();
  const std::string ca = dir.filePath("ca.pem").toStdString();
  writeText(ca, caPem);
  found.opened = openssl({"pkcs12", "-in", path.toStdString(), "-passin", "pass:" + pwd.toStdString(), "-nodes",
                          "-clcerts", "-out", pem})
                     .exitCode == 0;
  if (!found.opened) return found;
  found.serial = openssl({"x509", "-in", pem, "-noout", "-serial"}).output;
  found.certPublicKey = openssl({"x509", "-in", pem, "-noout", "-pubkey"}).output;
  found.keyPublicKey = openssl({"pkey", "-in", pem, "-pubout"}).output;
  found.chainsToCa = openssl({"verify", "-CAfile", ca, pem}).exitCode == 0;
  return found;
}

std::string publicKeyOfCsr(const std::string& csr, const QString& folder) {
  const std::string file = (folder + "/request.pem").toStdString();
  writeText(file, "-----BEGIN CERTIFICATE REQUEST-----\n" + csr + "-----END CERTIFICATE REQUEST-----\n");
  return openssl({"req", "-in", file, "-noout", "-pubkey"}).output;
}

QStringList tableCells(const app::KARVDGDataSource* ds) {
  QStringList texts;
  for (int row = 0; ds && row < ds->numberOfRowsInTableView(); ++row)
    texts << ds->objectValue("Column1", row).value_or("") + "=" + ds->objectValue("Column2", row).value_or("");
  return texts;
}

}  // namespace karv::test
