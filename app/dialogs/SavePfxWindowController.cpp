#include "app/dialogs/SavePfxWindowController.h"

#include <QDir>
#include <QFileInfo>

#include "app/SecretText.h"
#include "crypto/RSAUtility.h"
#include "system/CommonUtility.h"
#include "system/Log.h"
#include "ui_SavePfxWindowController.h"

namespace karv::app {

SavePfxWindowController::SavePfxWindowController(QWidget* parent)
    : PfxDialog(parent), ui_(std::make_unique<Ui::SavePfxWindowController>()) {
  ui_->setupUi(this);
  connect(ui_->btnBrowserFilePath, &QPushButton::clicked, this, &SavePfxWindowController::btnBrowserFilePathOnClick);
  connect(ui_->btnOK, &QPushButton::clicked, this, &SavePfxWindowController::btnOKOnClick);
  connect(ui_->btnCancel, &QPushButton::clicked, this, &SavePfxWindowController::btnCancelOnClick);
}

SavePfxWindowController::~SavePfxWindowController() = default;

void SavePfxWindowController::setDelegate(SavePfxWindowControllerDelegate* delegate) {
  delegate_ = delegate;
  SheetDialog::setDelegate(delegate);
}

void SavePfxWindowController::setPfxFile(const QString& fullPath) {
  // Split at the last "/": "/cert.pfx" has no folder, "/a/b/" no file name;
  // the window's defaults fill in what is missing.
  const qsizetype slash = fullPath.lastIndexOf(u'/');
  pfxFilePath_ = slash < 0 ? QString() : fullPath.left(slash);
  pfxFileName_ = fullPath.mid(slash + 1);
}

void SavePfxWindowController::windowDidLoad() {
  if (pfxFilePath_.trimmed().isEmpty()) pfxFilePath_ = QString::fromStdString(CommonUtility().getUserHomePath());
  if (pfxFileName_.trimmed().isEmpty()) pfxFileName_ = "cert.pfx";
  showPath(ui_->lblPfxFilePath, pfxFilePath_ + "/" + pfxFileName_);
  clearFields({ui_->txtPfxPwd, ui_->txtPfxPwdCfm});
  showRule(ui_->lblPromptMsg, rules_.promptMsg, {ui_->txtPfxPwd, ui_->txtPfxPwdCfm});
  ui_->txtPfxPwd->setFocus();  // the path has a default; the password is what to type
}

void SavePfxWindowController::btnBrowserFilePathOnClick() {
  const auto chosen = choosePfx("憑證檔儲存路徑選擇", ui_->lblPfxFilePath->text(), true);
  if (!chosen) return;
  // A folder takes the current file name; a file (existing or new) is the target.
  const QString target = QFileInfo(*chosen).isDir() ? QDir(*chosen).filePath(pfxFileName_) : *chosen;
  showPath(ui_->lblPfxFilePath, target);
}

QString SavePfxWindowController::inputError(const QString& target, const QString& pwd, const QString& confirm) const {
  if (target.isEmpty()) return "憑證檔儲存路徑未指定!!";
  if (pwd.isEmpty()) return "密碼空白!!";
  if (pwd != confirm) return "密碼與密碼確認值不同!!";
  return rules_.firstBroken(pwd);
}

int32_t SavePfxWindowController::writePfx(const QString& target, const QString& pwd) const {
  const std::string cert = b64Cert_.toStdString();
  std::string key = b64PrivateKey_.toStdString();
  const std::string path = target.toStdString();
  std::string password = pwd.toStdString();
  int32_t status = RSAUtility::kFailed;
  runBlockingWork("正在儲存憑證檔...", [&] {
    const RSAUtility rsa;
    status = key.empty() ? rsa.savePfxFile(cert, path, password) : rsa.savePfxFile(cert, key, path, password);
  });
  wipeSecret(key);
  wipeSecret(password);
  return status;
}

bool SavePfxWindowController::mayWrite(const QString& target) const {
  // Every application and renewal proposes the same file, which may hold the
  // only copy of a key still in use: an existing file (or a link) is replaced
  // only when the user says so.
  const QFileInfo existing(target);
  if (!existing.isSymLink() && (!existing.exists() || existing.isDir())) return true;
  return askQuestion("檔案已存在，是否要取代？", {"取代", "取消"});
}

void SavePfxWindowController::done(int returnCode) {
  // Whatever the end, the dialog keeps neither the key nor the password: the
  // delegate has had what it needs.
  wipeSecret(b64PrivateKey_);
  wipeSecret(pfxFilePwd_);
  for (QLineEdit* field : {ui_->txtPfxPwd, ui_->txtPfxPwdCfm}) clearSecretField(field);
  PfxDialog::done(returnCode);
}

bool SavePfxWindowController::writeEntries() {
  const QString target = ui_->lblPfxFilePath->text();
  const QString pwd = ui_->txtPfxPwd->text();
  if (const QString error = inputError(target, pwd, ui_->txtPfxPwdCfm->text()); !error.isEmpty()) {
    showError(error);
    return false;
  }
  if (!mayWrite(target)) return false;
  setPfxFile(target);
  pfxFilePwd_ = pwd;
  if (writePfx(target, pwd) != RSAUtility::kOk) {
    showError("憑證檔儲存失敗，請檢查並確認您的憑證檔儲存資訊");
    return false;
  }
  return true;
}

void SavePfxWindowController::btnOKOnClick() {
  if (!writeEntries()) return;
  logLine("save pfx file done!! ready to invoke delegate!!");
  if (delegate_) delegate_->getSavePfxWindowData(pfxFilePath_, pfxFileName_, pfxFilePwd_);
  logLine("invoke delegate done!!");
  done(kDone);
}

}  // namespace karv::app
