// The verification, agreement and password dialogs as sheets on the main
// window: their fields, checks, messages and result codes, headless.
#include <QAccessible>
#include <QCheckBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBrowser>
#include <QtTest>

#include "AuthCodeWindowController.h"
#include "BtsCertDlPwdWindowController.h"
#include "GuiTestSupport.h"
#include "UserAgreementWindowController.h"
#include "UserAuthWindowController.h"
#include "UserChgBtsLoginPwdWindowController.h"

using namespace karv::app;
using namespace karv::test;
using Style = AlertPresenter::Style;

namespace {
const QString kBirth = "19800115";

// Result codes that reached a sheet's handler, in order.
struct Results {
  QList<int> codes;
  AppDelegate::SheetHandler handler() {
    return [this](int code) { codes << code; };
  }
};

UserAuthWindowController* openIdentity(AppHarness& h, Results& results, const QString& mail = "a.chen@example.com",
                                       const QString& phone = "0912345678", const QString& title = "憑證申請") {
  h.app().window()->show();
  h.app().showUserAuthWindow(mail, phone, kBirth, title, results.handler());
  return activeSheet<UserAuthWindowController>();
}

QString accessibleName(QWidget* w) {
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
  return iface ? iface->text(QAccessible::Name) : QString();
}
}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT
 private slots:
  void identityBirthInputErrorsKeepDialogOpen() {
    AppHarness h;
    Results results;
    auto* sheet = openIdentity(h, results);
    QVERIFY(sheet);
    QCOMPARE(sheet->windowTitle(), QString("憑證申請"));
    QCOMPARE(sheet->parentWidget(), h.app().window());
    QCOMPARE(sheet->windowModality(), Qt::WindowModal);
    auto* birth = control<QLineEdit>(sheet, "txtUserBirth");
    auto* ok = control<QPushButton>(sheet, "btnOK");
    // The plain cases run in the verification flow; these are the edges.
    const QList<QPair<QString, QString>> wrong{
        {" \t ", "基本資料空白"}, {"198001150", "基本資料長度須等於8"}, {"1980O115", "基本資料必須全為數字"}};
    for (const auto& [typed, message] : wrong) {
      h.alerts().clear();
      typeInto(birth, typed);
      click(ok);
      QCOMPARE(h.alerts().texts(), QStringList{message});
      QCOMPARE(h.alerts().shown().first().title, QString("錯誤"));
      QCOMPARE(h.alerts().shown().first().buttons, QStringList{"確定"});
      QCOMPARE(h.alerts().shown().first().style, Style::ApplicationModal);
      QVERIFY(sheet->isVisible());
      QCOMPARE(activeSheet<UserAuthWindowController>(), sheet);
    }
    QVERIFY(results.codes.isEmpty());
    QVERIFY(h.gateway().requests().empty());

    // Surrounding blanks are trimmed and written back; the date then passes.
    click(control<QRadioButton>(sheet, "useMail"));
    h.alerts().clear();
    typeInto(birth, " 19800115\t");
    click(ok);
    QCOMPARE(results.codes, QList<int>{UserAuthWindowController::kByMail});
    QCOMPARE(birth->text(), kBirth);
    QVERIFY(!sheet->isVisible());
    QVERIFY(h.alerts().shown().isEmpty());
  }

  void identityResultCodes_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("choice");
    QTest::addColumn<int>("expected");
    // clang-format off
    QTest::newRow("birth differs") << "19800116" << "useMail" << -1;
    QTest::newRow("other-script digits differ from the record") << "１９８００１１５" << "useMail" << -1;
    QTest::newRow("no method") << kBirth << "" << -2;
    QTest::newRow("mail") << kBirth << "useMail" << 1;
    QTest::newRow("phone") << kBirth << "usePhone" << 2;
    QTest::newRow("download password") << kBirth << "useService" << 3;
    QTest::newRow("last choice wins") << kBirth << "useService,usePhone" << 2;
    QTest::newRow("cancel") << "" << "btnCancel" << -3;
    QTest::newRow("escape") << "" << "escape" << -3;
    // clang-format on
  }
  void identityResultCodes() {
    QFETCH(QString, typed);
    QFETCH(QString, choice);
    QFETCH(int, expected);
    AppHarness h;
    Results results;
    auto* sheet = openIdentity(h, results);
    QVERIFY(sheet);
    auto* birth = control<QLineEdit>(sheet, "txtUserBirth");
    const bool onKeyboard = std::all_of(typed.begin(), typed.end(), [](QChar c) { return c.unicode() < 128; });
    if (onKeyboard)
      typeInto(birth, typed);
    else
      birth->setText(typed);
    for (const QString& name : choice.split(',', Qt::SkipEmptyParts)) {
      if (name == "escape")
        QTest::keyClick(sheet, Qt::Key_Escape);
      else
        click(control<QAbstractButton>(sheet, name.toLatin1().constData()));
    }
    if (results.codes.isEmpty()) click(control<QPushButton>(sheet, "btnOK"));
    QCOMPARE(results.codes, QList<int>{expected});
    QVERIFY(h.alerts().shown().isEmpty());
  }

  void identityChoicesAreExclusive() {
    AppHarness h;
    Results results;
    auto* sheet = openIdentity(h, results);
    auto* mail = control<QRadioButton>(sheet, "useMail");
    auto* phone = control<QRadioButton>(sheet, "usePhone");
    auto* service = control<QRadioButton>(sheet, "useService");
    QCOMPARE(sheet->method(), QString());
    QVERIFY(!mail->isChecked() && !phone->isChecked() && !service->isChecked());
    click(mail);
    click(service);
    QCOMPARE(sheet->method(), QString("Service"));
    QVERIFY(!mail->isChecked() && !phone->isChecked() && service->isChecked());
    QCOMPARE(mail->text(), QString("寄到您於本公司登記的電子郵件信箱(a.chen@example.com)"));
    QCOMPARE(phone->text(), QString("簡訊通知您於本公司登記的手機號碼(0912345678)"));
  }

  void emptyBirthOnFileNeverMatches() {
    AppHarness h;
    Results results;
    h.app().window()->show();
    h.app().showUserAuthWindow("a@example.com", "", "", "憑證申請", results.handler());
    auto* sheet = activeSheet<UserAuthWindowController>();
    QVERIFY(sheet);
    typeInto(control<QLineEdit>(sheet, "txtUserBirth"), "00000000");
    click(control<QRadioButton>(sheet, "useMail"));
    click(control<QPushButton>(sheet, "btnOK"));
    QCOMPARE(results.codes, QList<int>{-1});
  }

  void sheetProtocolReplacesControllerAndLogsEnd() {
    AppHarness h;
    LogRecorder log;
    Results results;
    QPointer<UserAuthWindowController> first = openIdentity(h, results);
    QVERIFY(first);
    // The handler runs once the sheet is off the screen.
    bool hiddenWhenHandled = false;
    h.app().showUserAuthWindow("", "", kBirth, "憑證申請", [&](int code) {
      hiddenWhenHandled = !activeSheet<UserAuthWindowController>();
      results.codes << code;
    });
    QPointer<UserAuthWindowController> second = activeSheet<UserAuthWindowController>();
    QVERIFY(second && second != first);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(first.isNull());  // the old controller is released
    click(control<QPushButton>(second, "btnCancel"));
    QVERIFY(hiddenWhenHandled);
    QCOMPARE(results.codes, QList<int>{-3});
    QCOMPARE(log.linesWith("showWindow returnCode"), QStringList{"showWindow returnCode = -3"});
  }

  void codeAndDownloadPasswordEntries() {
    AppHarness h;
    h.app().window()->show();
    Results results;
    h.app().showAuthCodeWindow(results.handler());
    auto* code = activeSheet<AuthCodeWindowController>();
    QVERIFY(code);
    QCOMPARE(code->pwd(), QString());
    typeInto(control<QLineEdit>(code, "authCode"), "  123456\t");
    click(control<QPushButton>(code, "btnOK"));
    QCOMPARE(code->pwd(), QString("123456"));
    QCOMPARE(control<QLineEdit>(code, "authCode")->text(), QString("123456"));

    h.app().showAuthCodeWindow(results.handler());
    auto* again = activeSheet<AuthCodeWindowController>();
    click(control<QPushButton>(again, "btnOK"));  // an empty code is passed on as it is
    QCOMPARE(again->pwd(), QString());
    h.app().showAuthCodeWindow(results.handler());
    click(control<QPushButton>(activeSheet(), "btnReAuth"));

    h.app().showBtsCertDlPwdWindow(results.handler());
    auto* dl = activeSheet<BtsCertDlPwdWindowController>();
    QVERIFY(dl);
    QCOMPARE(control<QLineEdit>(dl, "txtUserBtsCertDlPwd")->echoMode(), QLineEdit::Password);
    typeInto(control<QLineEdit>(dl, "txtUserBtsCertDlPwd"), " Dl123456 ");
    click(control<QPushButton>(dl, "btnOK"));
    QCOMPARE(dl->pwd(), QString("Dl123456"));
    h.app().showBtsCertDlPwdWindow(results.handler());
    click(control<QPushButton>(activeSheet(), "btnCancel"));
    QCOMPARE(results.codes, (QList<int>{1, 1, 0, 1, 0}));
    QVERIFY(h.alerts().shown().isEmpty());
  }

  void agreementNextFollowsCheckBox() {
    AppHarness h;
    h.app().window()->show();
    Results results;
    h.app().showUserAgreement(results.handler());
    auto* sheet = activeSheet<UserAgreementWindowController>();
    QVERIFY(sheet);
    auto* page = control<QTextBrowser>(sheet, "wvUserAgreement");
    QCOMPARE(page->source(), QUrl("qrc:/UserAgreement.html"));
    QVERIFY(page->toPlainText().contains("電子憑證服務使用者約定條款"));
    QVERIFY(page->toPlainText().contains("私密金鑰"));
    auto* agree = control<QCheckBox>(sheet, "chkAgree");
    auto* next = control<QPushButton>(sheet, "btnNextStep");
    QVERIFY(!agree->isChecked() && !next->isEnabled());
    click(next);
    QVERIFY(results.codes.isEmpty());
    click(agree);
    QVERIFY(next->isEnabled());
    click(agree);
    QVERIFY(!next->isEnabled());
    click(agree);
    click(next);
    h.app().showUserAgreement(results.handler());
    click(control<QPushButton>(activeSheet(), "btnCancel"));
    QCOMPARE(results.codes, (QList<int>{1, 0}));
  }

  void passwordRulesInOrderEmptyAllFields_data() {
    QTest::addColumn<QString>("oldPwd");
    QTest::addColumn<QString>("newPwd");
    QTest::addColumn<QString>("confirm");
    QTest::addColumn<QString>("message");
    // clang-format off
    QTest::newRow("old empty") << "  " << "abc123" << "abc123" << "舊密碼空白";
    QTest::newRow("new empty") << "Start1234" << "\t" << "" << "新密碼空白";
    QTest::newRow("confirmation differs") << "Start1234" << "abc123" << "abc124" << "新密碼與新密碼確認不同";
    QTest::newRow("same as old") << "abc123" << "abc123" << "abc123" << "新密碼不得與舊密碼相同";
    QTest::newRow("five characters") << "Start1234" << "ab1c2" << "ab1c2" << "密碼長度不足";
    QTest::newRow("seventeen characters") << "Start1234" << "abcdefgh123456789" << "abcdefgh123456789" << "密碼長度超過限制";
    QTest::newRow("letters only") << "Start1234" << "abcdef" << "abcdef" << "密碼必需包含數字";
    QTest::newRow("digits only") << "Start1234" << "123456" << "123456" << "密碼必需包含英文字母";
    QTest::newRow("non-ASCII letters are no letters") << "Start1234" << "密碼123456" << "密碼123456" << "密碼必需包含英文字母";
    // clang-format on
  }
  void passwordRulesInOrderEmptyAllFields() {
    QFETCH(QString, oldPwd);
    QFETCH(QString, newPwd);
    QFETCH(QString, confirm);
    QFETCH(QString, message);
    AppHarness h;
    h.app().window()->show();
    Results results;
    h.app().showUserChgBtsLoginPwdWindow("C120001686", results.handler());
    auto* sheet = activeSheet<UserChgBtsLoginPwdWindowController>();
    QVERIFY(sheet);
    QCOMPARE(sheet->idno(), QString("C120001686"));
    const char* names[] = {"txtUserBtsLoginOldPwd", "txtUserBtsLoginNewPwd", "txtUserBtsLoginNewPwdConfirm"};
    const QString typed[] = {oldPwd, newPwd, confirm};
    for (int i = 0; i < 3; ++i) {
      auto* field = control<QLineEdit>(sheet, names[i]);
      QCOMPARE(field->echoMode(), QLineEdit::Password);
      field->setText(typed[i]);
    }
    click(control<QPushButton>(sheet, "btnOK"));
    QCOMPARE(h.alerts().texts(), QStringList{message});
    QCOMPARE(h.alerts().shown().first().title, QString("錯誤"));
    QCOMPARE(h.alerts().shown().first().style, Style::ApplicationModal);
    for (const char* name : names) QCOMPARE(control<QLineEdit>(sheet, name)->text(), QString());
    QVERIFY(sheet->isVisible());
    QVERIFY(results.codes.isEmpty());
    for (const auto& r : h.gateway().requests()) QVERIFY(r.api != "changeBtsLoginPwd");
  }

  void passwordChangeCancelEndsWithZero() {
    AppHarness h;
    h.app().window()->show();
    Results results;
    h.app().showUserChgBtsLoginPwdWindow("C120001686", results.handler());
    click(control<QPushButton>(activeSheet(), "btnCancel"));
    QCOMPARE(results.codes, QList<int>{0});
    QVERIFY(h.alerts().shown().isEmpty());
  }

  void passwordChangeRefusalReportedAfterSheetEnds() {
    AppHarness h;
    h.app().window()->show();
    QStringList order;
    h.app().showUserChgBtsLoginPwdWindow(demo::kFirstLogin.idno, [&](int code) {
      order << QString("handler %1").arg(code);
      QCOMPARE(h.alerts().shown().size(), 0);
    });
    auto* sheet = activeSheet();
    const char* names[] = {"txtUserBtsLoginOldPwd", "txtUserBtsLoginNewPwd", "txtUserBtsLoginNewPwdConfirm"};
    typeInto(control<QLineEdit>(sheet, "txtUserBtsLoginOldPwd"), "Wrong1234");
    typeInto(control<QLineEdit>(sheet, "txtUserBtsLoginNewPwd"), "NewPass99");
    typeInto(control<QLineEdit>(sheet, "txtUserBtsLoginNewPwdConfirm"), "NewPass99");
    click(control<QPushButton>(sheet, "btnOK"));
    // The gateway refused the old password: the sheet ends with the failure
    // code, then the dialog reports the fixed text and empties its fields.
    QCOMPARE(order, QStringList{QString("handler %1").arg(karv::KARVLib::kFirstLoginChange)});
    QCOMPARE(h.alerts().texts(), QStringList{"使用者初次登入變更密碼失敗"});
    QCOMPARE(h.alerts().shown().first().style, Style::ApplicationModal);
    for (const char* name : names) QCOMPARE(control<QLineEdit>(sheet, name)->text(), QString());
    QCOMPARE(h.requestCount("changeBtsLoginPwd"), 1);
  }

  void passwordChangeNothingSentIsNoSuccess() {
    // A change request that reports "nothing sent" (1) must not end the
    // dialog as "changed" (also 1).
    struct NothingSent : karv::KARVLib {
      using KARVLib::KARVLib;
      int32_t changeBtsLoginPwd(const std::optional<std::string>&, const std::optional<std::string>&,
                                const std::optional<std::string>&, std::optional<std::string>&) override {
        return 1;
      }
    };
    AppHarness h;
    h.setClientFactory([](const karv::GatewayEndpoint& ep) { return std::make_unique<NothingSent>(ep); });
    h.app().window()->show();
    Results results;
    h.app().showUserChgBtsLoginPwdWindow("C120001686", results.handler());
    auto* sheet = activeSheet();
    control<QLineEdit>(sheet, "txtUserBtsLoginOldPwd")->setText("Start1234");
    control<QLineEdit>(sheet, "txtUserBtsLoginNewPwd")->setText("NewPass99");
    control<QLineEdit>(sheet, "txtUserBtsLoginNewPwdConfirm")->setText("NewPass99");
    click(control<QPushButton>(sheet, "btnOK"));
    QCOMPARE(results.codes, QList<int>{karv::KARVLib::kFirstLoginChange});
  }

  void everyControlHasAChineseAccessibleName() {
    AppHarness h;
    h.app().window()->show();
    Results results;
    const std::function<void()> openers[] = {
        [&] { h.app().showUserAuthWindow("a@example.com", "0912", kBirth, "憑證申請", results.handler()); },
        [&] { h.app().showAuthCodeWindow(results.handler()); },
        [&] { h.app().showBtsCertDlPwdWindow(results.handler()); },
        [&] { h.app().showUserAgreement(results.handler()); },
        [&] { h.app().showUserChgBtsLoginPwdWindow("A123456789", results.handler()); },
    };
    for (const auto& open : openers) {
      open();
      QDialog* sheet = activeSheet();
      QVERIFY(sheet);
      QVERIFY(!sheet->windowTitle().isEmpty());
      QList<QWidget*> controls;
      for (auto* w : sheet->findChildren<QLineEdit*>()) controls << w;
      for (auto* w : sheet->findChildren<QAbstractButton*>()) controls << w;
      for (auto* w : sheet->findChildren<QTextBrowser*>()) controls << w;
      QVERIFY(controls.size() >= 3);
      for (QWidget* w : controls) {
        const QString name = accessibleName(w);
        QVERIFY2(!name.isEmpty(), qPrintable(w->objectName()));
        const bool han = std::any_of(name.begin(), name.end(), [](QChar c) { return c.script() == QChar::Script_Han; });
        QVERIFY2(han, qPrintable(w->objectName() + ": " + name));
      }
      sheet->reject();
    }
  }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
