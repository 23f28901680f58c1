// Revocation from the main window against the development gateway: after
// SMS verification the gateway's record changes, nothing local does.
#include <QPushButton>
#include <QtTest>

#include "DemoSeed.h"
#include "GuiTestSupport.h"
#include "KARVMask.h"
#include "PfxTestSupport.h"
#include "WorkflowSupport.h"
#include "ui_MainWindow.h"

using namespace karv::app;
using namespace karv::test;

class RevokeTest : public QObject {
  Q_OBJECT
 private slots:
  void revocationChangesOnlyTheGatewaysRecord() {
    UserSession s(demo::kExpiring);
    QVERIFY(s.loggedIn);
    LogRecorder log;
    Ui::MainWindow& ui = *s.h.app().ui();
    // The client table shows the user's file, chosen through the client query.
    const QString file = s.copyDemoPfx(demo::kExpiring, "KARV/D220003245.pfx");
    click(ui.btnQryClntCertInfo);
    confirmLoadPfx(activeSheet<LoadPfxWindowController>(), QString::fromLatin1(karv::gateway::kDemoPfxPassword));
    const QStringList client = tableCells(s.h.app().clntCertInfoDs());
    QCOMPARE(client.size(), 5);
    const QByteArray bytes = bytesOf(file);
    QVERIFY(tableCells(s.h.app().svrCertInfoDs()).contains("憑證狀態=有效(1)"));

    // No answer: the text for the revocation's code, the certificate stays.
    s.h.gateway().setFault("revokeCert", karv::gateway::Fault::noAnswer());
    QVERIFY(verifyIdentity(s.h, ui.btnRevokeCert, demo::kExpiring));
    QCOMPARE(s.h.alerts().texts(), QStringList{"憑證廢止失敗"});
    QVERIFY(tableCells(s.h.app().svrCertInfoDs()).contains("憑證狀態=有效(1)"));
    QVERIFY(ui.btnRevokeCert->isEnabled());

    s.h.gateway().clearFaults();
    s.h.alerts().clear();
    QVERIFY(verifyIdentity(s.h, ui.btnRevokeCert, demo::kExpiring));
    QCOMPARE(s.h.alerts().texts(), QStringList{"廢止憑證完成"});
    QCOMPARE(s.h.lastRequest("revokeCert")->params.at("cn"), std::string(demo::kExpiring.cn));
    QCOMPARE(s.h.app().revokeCertInfo().at("rvkCode"), std::string("0"));
    // The gateway's view: revoked, nothing left to revoke, install or renew.
    QVERIFY(tableCells(s.h.app().svrCertInfoDs()).contains("憑證狀態=已廢止(2)"));
    for (QPushButton* b : {ui.btnRevokeCert, ui.btnDepCert, ui.btnRenewCert}) QVERIFY(!b->isEnabled());
    QVERIFY(!activeSheet() && !s.h.app().mask()->isVisible());
    // Nothing local changed.
    QCOMPARE(bytesOf(file), bytes);
    QCOMPARE(tableCells(s.h.app().clntCertInfoDs()), client);
    QCOMPARE(s.currentPath(), file);
    QCOMPARE(leakingLine(log.lines(), {QString::fromStdString(s.h.lastOutboxMessage()->code)}), QString());
  }
};

QTEST_MAIN(RevokeTest)
#include "revoke_test.moc"
