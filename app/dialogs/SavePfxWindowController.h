#pragma once
#include <memory>

#include "app/dialogs/PfxDialog.h"
#include "app/dialogs/PfxPasswordRules.h"

namespace Ui {
class SavePfxWindowController;
}

namespace karv::app {

// What the Save-PFX dialog handed back at its last successful OK.
struct SavePfxFileWindowResult {
  QString pfxFilePath;  // the folder of the written file
  QString pfxFileName;
  QString pfxFilePwd;
};

class SavePfxWindowControllerDelegate : public virtual SheetDialogDelegate {
 public:
  // The file is written: its folder (no trailing "/"), name and password.
  virtual void getSavePfxWindowData(const QString& pfxFilePath, const QString& pfxFileName,
                                    const QString& pfxFilePwd) = 0;
};

// Writes the issued certificate and its key into a .pfx file at a place the
// user chooses, under a password that keeps the gateway's rules. The dialog
// stays open until the file is written or the user cancels.
class SavePfxWindowController : public PfxDialog {
  Q_OBJECT
 public:
  explicit SavePfxWindowController(QWidget* parent = nullptr);
  ~SavePfxWindowController() override;

  void setDelegate(SavePfxWindowControllerDelegate* delegate);
  // The target as a full path, split into folder and file name.
  void setPfxFile(const QString& fullPath);
  // Base64 DER certificate or PKCS#7 bundle from the gateway.
  void setB64Cert(const QString& b64Cert) { b64Cert_ = b64Cert; }
  // PEM private key; empty: the key is looked up among the kept key files.
  void setB64PrivateKey(const QString& b64PrivateKey) { b64PrivateKey_ = b64PrivateKey; }
  void setRules(const PfxPasswordRules& rules) { rules_ = rules; }

  [[nodiscard]] const QString& pfxFilePath() const { return pfxFilePath_; }
  [[nodiscard]] const QString& pfxFileName() const { return pfxFileName_; }
  [[nodiscard]] const QString& pfxFilePwd() const { return pfxFilePwd_; }
  [[nodiscard]] const PfxPasswordRules& rules() const { return rules_; }

  // Fills the window from the data: home folder and "cert.pfx" where none is set.
  void windowDidLoad();
  void btnBrowserFilePathOnClick();
  void btnOKOnClick();
  // Ends the sheet; the key and the password are wiped first.
  void done(int returnCode) override;

 private:
  // The message of the first check the entries fail; "" when they pass.
  [[nodiscard]] QString inputError(const QString& target, const QString& pwd, const QString& confirm) const;
  [[nodiscard]] int32_t writePfx(const QString& target, const QString& pwd) const;
  // Checks the entries, then writes the file; true once it is written. Its
  // copies of the password are gone when it returns, so only the dialog's
  // and the delegate's remain to be wiped.
  [[nodiscard]] bool writeEntries();
  // False when the target exists and the user would rather keep it.
  [[nodiscard]] bool mayWrite(const QString& target) const;

  std::unique_ptr<Ui::SavePfxWindowController> ui_;
  SavePfxWindowControllerDelegate* delegate_ = nullptr;  // weak
  QString pfxFilePath_;
  QString pfxFileName_;
  QString pfxFilePwd_;
  QString b64Cert_;
  QString b64PrivateKey_;
  PfxPasswordRules rules_;
};

}  // namespace karv::app
