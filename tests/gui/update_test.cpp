// Error reports by code and the client update after a refused version.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "GuiTestSupport.h"
#include "KARVLib.h"

using karv::test::AppHarness;

namespace {
const QString kOutdated = "您目前使用的用戶端軟體版本過舊，將為您自動進行軟體更新";
const QString kDownloaded = "新版用戶端軟體安裝檔下載完成!!\n\n接下來請按照系統指引安裝新用戶端軟體";
const QString kDownloadFailed = "檔案下載失敗，請稍後再重新嘗試檔案更新";
const QString kInstallerFailed = "軟體更新失敗，無法啟動新用戶端軟體安裝程序";
}  // namespace

class UpdateTest : public QObject {
  Q_OBJECT
  QTemporaryDir home_;

 private slots:
  void initTestCase() {
    QVERIFY(home_.isValid());
    qputenv("HOME", home_.path().toUtf8());
    QCoreApplication::setApplicationName("KARV");
  }

  void errorReportsByCode() {
    AppHarness h;
    auto& app = h.app();
    app.showErrMsg(0);
    app.showErrMsg(0, std::string());
    QVERIFY(h.alerts().shown().isEmpty());
    app.showErrMsg(karv::KARVLib::kLoginRejected);
    const QString tableText = QString::fromStdString(app.getKARVlib()->getErrMsg(karv::KARVLib::kLoginRejected));
    QVERIFY(tableText != QString::number(karv::KARVLib::kLoginRejected));
    app.showErrMsg(12345);
    app.showErrMsg(karv::KARVLib::kLoginRejected, std::nullopt);
    app.showErrMsg(karv::KARVLib::kLoginRejected, std::string("閘道訊息"));
    QCOMPARE(h.alerts().texts(), (QStringList{tableText, "不明的錯誤(錯誤代碼 12345)", tableText, "閘道訊息"}));
    QCOMPARE(h.alerts().shown().first().title, QString("提示訊息"));
  }

  void downloadedInstallerIsOpenedThenQuit() {
    const QString target = home_.path() + "/Downloads/KARV.deb";
    QDir().mkpath(home_.path() + "/Downloads");
    QFile old(target);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an older package");
    old.close();

    AppHarness h({}, AppHarness::Scheme::Https);  // the package comes over https only
    h.gateway().setVersionAccepted(false);
    h.app().applicationDidFinishLaunching();
    QCOMPARE(h.alerts().texts(), (QStringList{kOutdated, kDownloaded}));
    QCOMPARE(h.desktop().openedFiles, QStringList{target});
    QFile saved(target);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QVERIFY(saved.readAll() != "an older package");  // overwritten by the new package
    QCOMPARE(h.terminations(), 1);
  }

  void installerThatWillNotOpen() {
    AppHarness h({}, AppHarness::Scheme::Https);
    h.gateway().setVersionAccepted(false);
    h.desktop().openFileSucceeds = false;
    h.app().applicationDidFinishLaunching();
    QCOMPARE(h.alerts().texts(), (QStringList{kOutdated, kDownloaded, kInstallerFailed}));
    QCOMPARE(h.terminations(), 1);
  }

  void failedDownloadOpensNothing_data() {
    QTest::addColumn<bool>("https");
    QTest::addColumn<QString>("path");
    QTest::newRow("missing") << true << "/no-such-folder/KARV.deb";
    QTest::newRow("not a .deb") << true << "/RACGW/download/KARV.sh";
    QTest::newRow("plain http") << false << "/RACGW/download/KARV.deb";
  }
  void failedDownloadOpensNothing() {
    QFETCH(bool, https);
    QFETCH(QString, path);
    AppHarness h({}, https ? AppHarness::Scheme::Https : AppHarness::Scheme::Http);
    h.gateway().setVersionAccepted(false);
    h.gateway().setConfigValue("app.mac.dlUrl", h.gateway().origin() + path.toStdString());
    h.app().applicationDidFinishLaunching();
    QCOMPARE(h.alerts().texts(), (QStringList{kOutdated, kDownloadFailed}));
    QVERIFY(h.desktop().openedFiles.isEmpty());
    QCOMPARE(h.terminations(), 1);
  }

  // Gateway texts reach the user as they are: never markup, never a link.
  void alertsShowPlainText() {
    const QString hostile = "<a href=\"file:///etc/passwd\">請按此</a><img src=\"https://x/\">";
    QStringList shown;
    bool allPlain = true;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      for (QLabel* label : box->findChildren<QLabel*>()) {
        if (label->text().isEmpty()) continue;
        shown << label->text();
        allPlain = allPlain && label->textFormat() == Qt::PlainText && !label->openExternalLinks();
      }
      box->buttons().first()->click();
    });
    karv::app::QtAlertPresenter presenter;
    QCOMPARE(
        presenter.present({karv::app::AlertPresenter::Style::ApplicationModal, nullptr, "錯誤", hostile, {"確定"}}),
        1000);
    QVERIFY(shown.contains(hostile));
    QVERIFY(allPlain);
  }
};

QTEST_MAIN(UpdateTest)
#include "update_test.moc"
