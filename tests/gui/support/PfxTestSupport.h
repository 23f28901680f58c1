#pragma once
// Driving the .pfx dialogs as a user would, and certificates to put in them.
#include <optional>
#include <string>

#include "ChgPfxPwdWindowController.h"
#include "GuiTestSupport.h"
#include "LoadPfxWindowController.h"
#include "SavePfxWindowController.h"

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

}  // namespace karv::test
