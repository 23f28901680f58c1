#pragma once
// Driving the .pfx dialogs as a user would, and certificates to put in them.
#include <optional>
#include <string>

#include "ChgPfxPwdWindowController.h"
#include "GuiTestSupport.h"
#include "LoadPfxWindowController.h"
#include "SavePfxWindowController.h"
#include "support/TestFiles.h"
#include "support/ToolRunner.h"

namespace karv::test {

// Types the password and its confirmation (the same unless given) into the
// Save-PFX dialog and presses OK.
void confirmSavePfx(app::SavePfxWindowController* dialog, const QString& pwd,
                    const std::optional<QString>& confirm = std::nullopt);
// Types the password into the Load-PFX dialog and presses OK.
void confirmLoadPfx(app::LoadPfxWindowController* dialog, const QString& pwd);
// Types old, new and confirmation (the new unless given) and presses OK.
void confirmChgPfxPwd(app::ChgPfxPwdWindowController* dialog, const QString& oldPwd, const QString& newPwd,
                      const std::optional<QString>& confirm = std::nullopt);

// A certificate that the gateway issued to the logged-in user for a new key
// (identity verified by e-mail, then "applyCert" through the application's
// own protocol client); the key is also kept in the hidden working folder.
struct IssuedCertificate {
  QString b64Cert;
  QString b64PrivateKey;
  StringMap certInfo;
};
[[nodiscard]] std::optional<IssuedCertificate> issueCertificate(AppHarness& h, const DemoUserRef& user);

// The .pfx the gateway wrote for a demo user that starts with a certificate
// (the harness needs a data folder); its password is gateway::kDemoPfxPassword.
[[nodiscard]] QString demoPfxPath(AppHarness& h, const DemoUserRef& user);

// A demo user logged in with a home folder of their own (HOME points there)
// and a gateway that keeps its files (the demo .pfx among them); the sheets
// opened through handler() record their codes.
struct UserSession {
  TempDir home;
  ScopedEnv homeEnv{"HOME", home.path.string()};
  TempDir gatewayData;
  AppHarness h{gatewayData.path.string()};
  QList<int> codes;
  bool loggedIn;

  // Logs in unless told not to (the test sets the gateway up first).
  explicit UserSession(const DemoUserRef& user, bool logIn = true) : loggedIn(logIn && h.logIn(user)) {
    h.alerts().clear();
  }
  app::AppDelegate::SheetHandler handler() {
    return [this](int code) { codes << code; };
  }
  [[nodiscard]] QString path(const QString& relative) const {
    return QString::fromStdString(home / relative.toStdString());
  }
  [[nodiscard]] QString currentPath();
  [[nodiscard]] QString currentPwd();
  // Copies the gateway's .pfx of the user to a place of the home folder.
  QString copyDemoPfx(const DemoUserRef& user, const QString& relative);
  // Checks an error alert (and only it) is showing over the open dialog.
  bool showsOnly(const QString& message, QDialog* dialog);
};

[[nodiscard]] QByteArray bytesOf(const QString& path);
// The openssl tool with these arguments.
ToolResult openssl(std::vector<std::string> args);
// The certificates of the file as the openssl tool reads them with the password.
ToolResult pkcs12Certs(const QString& path, const QString& pwd);
// The client's own reading of the file; empty when it does not open.
[[nodiscard]] StringMap certInfoOf(const QString& path, const QString& pwd);

// What the openssl tool finds in a .pfx opened with its password.
struct PfxByOpenssl {
  bool opened = false;
  std::string serial;         // of the user's certificate ("serial=..." as openssl prints it)
  std::string certPublicKey;  // PEM
  std::string keyPublicKey;   // PEM, the public half of the private key
  bool chainsToCa = false;    // openssl verify of the certificate against the CA certificates
};
[[nodiscard]] PfxByOpenssl readPfxWithOpenssl(const QString& path, const QString& pwd, const std::string& caPem);

// The public key (PEM) of a request as the client sends it: the PEM body
// without its armour. The openssl tool reads it from a file in the folder.
[[nodiscard]] std::string publicKeyOfCsr(const std::string& csr, const QString& folder);

// The rows of a certificate table as "label=value".
[[nodiscard]] QStringList tableCells(const app::KARVDGDataSource* ds);

}  // namespace karv::test
