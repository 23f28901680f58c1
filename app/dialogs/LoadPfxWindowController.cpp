#include "app/dialogs/LoadPfxWindowController.h"

#include "app/RecordText.h"
#include "crypto/RSAUtility.h"
#include "system/CommonUtility.h"
#include "ui_LoadPfxWindowController.h"

namespace karv::app {

LoadPfxWindowController::LoadPfxWindowController(QWidget* parent)
    : PfxDialog(parent), ui_(std::make_unique<Ui::LoadPfxWindowController>()) {
  ui_->setupUi(this);
  connect(ui_->btnBrowseFile, &QPushButton::clicked, this, &LoadPfxWindowController::btnBrowseFileOnClick);
  connect(ui_->btnOk, &QPushButton::clicked, this, &LoadPfxWindowController::btnOkOnClick);
  connect(ui_->btnCancel, &QPushButton::clicked, this, &LoadPfxWindowController::btnCancelOnClick);
}

LoadPfxWindowController::~LoadPfxWindowController() = default;

void LoadPfxWindowController::setDelegate(LoadPfxWindowControllerDelegate* delegate) {
  delegate_ = delegate;
  SheetDialog::setDelegate(delegate);
}

void LoadPfxWindowController::setComparison(const QString& cnToCmp, const QString& issuerToCmp,
                                            const QString& hexSerialToCmp, const QString& certHashToCmp) {
  cnToCmp_ = cnToCmp;
  issuerToCmp_ = issuerToCmp;
  hexSerialToCmp_ = hexSerialToCmp;
  certHashToCmp_ = certHashToCmp;
}

void LoadPfxWindowController::windowDidLoad() {
  if (pfxFilePath_.isEmpty()) pfxFilePath_ = QString::fromStdString(CommonUtility().getUserHomePath());
  showPath(ui_->lblPfxFilePath, pfxFilePath_);
  ui_->txtPfxFilePwd->clear();
  ui_->txtPfxFilePwd->setFocus();
}

void LoadPfxWindowController::btnBrowseFileOnClick() {
  const auto chosen = chooseExistingPfx(ui_->lblPfxFilePath->text());
  if (!chosen) return;
  pfxFilePath_ = *chosen;
  showPath(ui_->lblPfxFilePath, pfxFilePath_);
}

QString LoadPfxWindowController::mismatch(const StringMap& certInfo) const {
  auto value = [&](const char* key) { return recordText(certInfo, key); };
  if (!certHashToCmp_.isEmpty() && value("certHash") != certHashToCmp_)
    return "錯誤的憑證檔(憑證雜湊值錯誤)，請重新選擇憑證";
  if (!cnToCmp_.isEmpty() && value("cn") != cnToCmp_) return "錯誤的憑證檔(CN錯誤)，請重新選擇憑證";
  if (!hexSerialToCmp_.isEmpty() && value("serial") != hexSerialToCmp_)
    return "錯誤的憑證檔(憑證序號錯誤)，請重新選擇憑證";
  if (!issuerToCmp_.isEmpty() && !RSAUtility().cmpSubject(value("issuer").toStdString(), issuerToCmp_.toStdString()))
    return "錯誤的憑證檔(憑證簽發者錯誤)，請重新選擇憑證";
  return {};
}

void LoadPfxWindowController::btnOkOnClick() {
  pfxFilePath_ = ui_->lblPfxFilePath->text();
  const QString pwd = ui_->txtPfxFilePwd->text();
  QString error;
  StringMap certInfo;
  if (pfxFilePath_.isEmpty()) {
    error = "憑證儲存路徑未指定!!";
  } else {
    const std::string path = pfxFilePath_.toStdString();
    const std::string password = pwd.toStdString();
    int32_t opened = RSAUtility::kFailed;
    // One read both checks the file and gives its certificate: the file
    // cannot change between a check and a second read.
    runBlockingWork("正在讀取憑證檔...", [&] { opened = RSAUtility().loadPfx(path, password, certInfo); });
    error = opened == RSAUtility::kOk ? mismatch(certInfo) : "憑證檔格式錯誤或不是指定的憑證檔!!";
  }
  if (!error.isEmpty()) {
    showError(error);
    ui_->txtPfxFilePwd->clear();
    return;
  }
  if (delegate_) delegate_->getLoadPfxWindowData(pfxFilePath_, pwd, certInfo);
  done(kDone);
}

}  // namespace karv::app
