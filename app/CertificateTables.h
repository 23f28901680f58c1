#pragma once
#include <QPointer>

#include "app/KARVDGDataSource.h"
#include "protocol/KARVLib.h"

class QTableView;

namespace Ui {
class MainWindow;
}

namespace karv::app {

// The main window's two certificate tables: what the gateway knows of the
// user's certificate and what the current .pfx holds. Each table gets its
// data source at its first rendering and keeps it; every rendering replaces
// all its rows.
class CertificateTables {
 public:
  explicit CertificateTables(Ui::MainWindow& ui) : ui_(ui) {}

  void renderSvrCertInfo(const StringMap& record);
  void renderClntCertInfo(const StringMap& record);
  // The gateway has no certificate to show: the server table is emptied.
  void clearSvrCertInfo();

  // None before the table's first rendering.
  [[nodiscard]] KARVDGDataSource* svrCertInfoDs() const { return svrCertInfoDs_; }
  [[nodiscard]] KARVDGDataSource* clntCertInfoDs() const { return clntCertInfoDs_; }

 private:
  // The table's data source, made on first use and emptied otherwise.
  static KARVDGDataSource& dataSourceFor(QTableView* table, QPointer<KARVDGDataSource>& ds);

  Ui::MainWindow& ui_;
  QPointer<KARVDGDataSource> svrCertInfoDs_;
  QPointer<KARVDGDataSource> clntCertInfoDs_;
};

}  // namespace karv::app
