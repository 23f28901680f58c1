#include "app/CertificateTables.h"

#include <QHeaderView>

#include "app/RecordText.h"
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

KARVDGDataSource& CertificateTables::dataSourceFor(QTableView* table, QPointer<KARVDGDataSource>& ds) {
  if (!ds) {
    // The table owns its data: both go with the window.
    ds = new KARVDGDataSource(table);
    table->setModel(ds);
    table->horizontalHeader()->setStretchLastSection(true);
  } else {
    ds->reset();
  }
  return *ds;
}

void CertificateTables::renderSvrCertInfo(const StringMap& record) {
  KARVDGDataSource& ds = dataSourceFor(ui_.tvSvrCertInfo, svrCertInfoDs_);
  addCommonRows(ds, record);
  ds.addDataItem(
      row("憑證狀態", QString("%1(%2)").arg(recordText(record, "stateMessage"), recordText(record, "state"))));
  ds.addDataItem(row("憑證安裝", recordText(record, "actFlg") == "Y" ? "已完成安裝" : "尚未安裝"));
}

void CertificateTables::renderClntCertInfo(const StringMap& record) {
  addCommonRows(dataSourceFor(ui_.tvClntCertInfo, clntCertInfoDs_), record);
}

void CertificateTables::clearSvrCertInfo() { (void)dataSourceFor(ui_.tvSvrCertInfo, svrCertInfoDs_); }

}  // namespace karv::app
