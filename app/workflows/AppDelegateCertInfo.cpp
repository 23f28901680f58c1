// What the gateway and the local .pfx hold about the user's certificate,
// shown in the main window's two tables.
#include <QHeaderView>

#include "app/AppDelegate.h"
#include "app/KARVDGDataSource.h"
#include "app/RecordText.h"
#include "app/dialogs/LoadPfxWindowController.h"
#include "system/CommonUtility.h"
#include "ui_MainWindow.h"

namespace karv::app {
namespace {

// yyyyMMddHHmmss... as yyyy/MM/dd HH:mm:ss; anything else unchanged.
QString displayDate(const StringMap& record, const char* key) {
  const auto it = record.find(key);
  if (it == record.end()) return {};
  return QString::fromStdString(CommonUtility().regexReplace(
      it->second, R"(^(\d{4})(\d{2})(\d{2})(\d{2})(\d{2})(\d{2}).*$)", "$1/$2/$3 $4:$5:$6"));
}

// The gateway's "state" of a revoked certificate.
const QString kRevokedState = QStringLiteral("2");

KARVDGDataSource::Row row(const QString& label, const QString& value) {
  return {{KARVDGDataSource::kColumns[0], label}, {KARVDGDataSource::kColumns[1], value}};
}

// The rows both tables share.
void addCommonRows(KARVDGDataSource& ds, const StringMap& record) {
  ds.addDataItem(row("身分證號", recordText(record, "certUserId")));
  ds.addDataItem(row("CN", recordText(record, "cn")));
  ds.addDataItem(row("憑證序號", recordText(record, "serial")));
  ds.addDataItem(row("憑證效期(起)", displayDate(record, "notBefore")));
  ds.addDataItem(row("憑證效期(迄)", displayDate(record, "notAfter")));
}

}  // namespace

KARVDGDataSource* AppDelegate::dataSourceFor(QTableView* table, QPointer<KARVDGDataSource>& ds) {
  if (!ds) {
    ds = new KARVDGDataSource(this);
    table->setModel(ds);
    table->horizontalHeader()->setStretchLastSection(true);
  } else {
    ds->reset();
  }
  return ds;
}

int32_t AppDelegate::doQrySvrCertInfo(const QString& cn) {
  std::optional<StringMap> record;
  std::optional<std::string> errMsg;
  KARVLib* lib = getKARVlib();
  const std::string cnText = cn.toStdString();
  const int32_t result = runBlocking([&] { return lib->qrySvrCertInfo(cnText, record, errMsg); });
  if (result == 0) {
    if (record)
      renderSvrCertInfo(*record);
    else
      dataSourceFor(ui_->tvSvrCertInfo, svrCertInfoDs_);  // rejected: no certificate to show
  }
  // Revoked elsewhere too (at a branch, say): the gateway's record says so.
  if (record && recordText(*record, "state") == kRevokedState)
    noteCertificateRevoked(recordText(*record, "cn"), recordText(*record, "serial"));
  return result;
}

int32_t AppDelegate::doQryClntCertInfo(const QString& cn, bool tryToLoad) {
  if (tryToLoad) {
    KARVLib* lib = getKARVlib();
    const std::string path = lib->getCurrentPfxFilePath().value_or("");
    const std::string pwd = lib->getCurrentPfxFilePwd().value_or("");
    StringMap record;
    int32_t result = -1;
    runBlockingWork("正在讀取憑證檔...", [&] {
      std::optional<std::string> errMsg;
      result = lib->qryClntCertInfo(cn.toStdString(), path, pwd, record, errMsg);
    });
    if (result == 0) {
      renderClntCertInfo(record);
      rememberCurrentCertificate(QString::fromStdString(path), record);
      return 0;
    }
  }
  // No file yet, or it does not open with the current password: the user picks it.
  showLoadPfxWindow("", "", "", "", [this](int returnCode, const LoadPfxFileWindowResult& loaded) {
    if (returnCode == PfxDialog::kCancelled)
      doAlert("使用者按下取消鍵，無法查詢用戶端憑證資訊");
    else if (returnCode == PfxDialog::kDone)
      renderClntCertInfo(loaded.certInfo);
  });
  return -1;
}

void AppDelegate::renderSvrCertInfo(const StringMap& record) {
  KARVDGDataSource* ds = dataSourceFor(ui_->tvSvrCertInfo, svrCertInfoDs_);
  addCommonRows(*ds, record);
  ds->addDataItem(
      row("憑證狀態", QString("%1(%2)").arg(recordText(record, "stateMessage"), recordText(record, "state"))));
  ds->addDataItem(row("憑證安裝", recordText(record, "actFlg") == "Y" ? "已完成安裝" : "尚未安裝"));
}

void AppDelegate::renderClntCertInfo(const StringMap& record) {
  addCommonRows(*dataSourceFor(ui_->tvClntCertInfo, clntCertInfoDs_), record);
}

}  // namespace karv::app
