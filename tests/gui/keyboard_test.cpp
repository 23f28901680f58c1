// The window and every dialog used with the keyboard alone: each key goes to
// the control that has the focus, as a user's would.
#include <QAccessible>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTableView>
#include <QtTest>

#include "GuiTestSupport.h"
#include "app/dialogs/AuthCodeWindowController.h"
#include "app/dialogs/LoadPfxWindowController.h"
#include "app/dialogs/SavePfxWindowController.h"
#include "app/dialogs/UserAgreementWindowController.h"
#include "app/dialogs/UserAuthWindowController.h"
#include "ui_MainWindow.h"

using namespace karv::test;

namespace {

const QString kRenewalOffer = "您的憑證即將到期, 直接進行憑證更新??";

class Keyboard {
 public:
  explicit Keyboard(QWidget* mainWindow) : mainWindow_(mainWindow) {}

  // The control with the focus: in the open dialog, else in the main window.
  [[nodiscard]] QWidget* focus() const {
    QCoreApplication::processEvents();  // a window just shown takes the focus once it is active
    QWidget* top = QApplication::activeModalWidget();
    return (top ? top : mainWindow_)->focusWidget();
  }
  [[nodiscard]] QString focusName() const { return focus() ? focus()->objectName() : QString("(none)"); }
  void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const {
    QTest::keyClick(focus(), Qt::Key(key), modifiers);
  }
  void type(const QString& text) const { QTest::keyClicks(focus(), text); }

  // The controls Tab (or Shift+Tab) visits from the focus until it comes back.
  [[nodiscard]] QStringList tabCycle(Qt::KeyboardModifiers modifiers = Qt::NoModifier) const {
    QWidget* start = focus();
    QStringList visited{focusName()};
    for (int i = 0; i < 40; ++i) {
      press(Qt::Key_Tab, modifiers);
      if (focus() == start) return visited;
      visited << focusName();
    }
    return visited << "(no way back)";
  }
  // Tabs forward to the named control; false when Tab never gets there.
  bool tabTo(const QString& name) const {
    for (int i = 0; i < 40 && focusName() != name; ++i) press(Qt::Key_Tab);
    return focusName() == name;
  }

 private:
  QWidget* mainWindow_;
};

// The reading order, the usable controls only; of a pair of radio buttons
// one is chosen, and Tab stops at that one.
QStringList usable(QWidget* window, const QStringList& order) {
  QStringList shown;
  for (const QString& name : order) {
    auto* w = window->findChild<QWidget*>(name);
    auto* radio = qobject_cast<QRadioButton*>(w);
    if (w && w->isEnabled() && w->isVisibleTo(window) && (!radio || radio->isChecked())) shown << name;
  }
  return shown;
}

QStringList rotatedTo(QStringList cycle, const QString& first) {
  const qsizetype at = cycle.indexOf(first);
  return at < 0 ? cycle : cycle.mid(at) + cycle.first(at);
}

QStringList reversed(QStringList cycle) {
  std::reverse(cycle.begin() + 1, cycle.end());
  return cycle;
}

// The window's mnemonics, "(&X)" after the text: every button listed and every
// caption of a field reached by Tab has one, no two alike, and a screen
// reader reads the text without it. (A read-only path's caption names it for
// the screen reader only.) The first fault found, "" when none.
QString mnemonicFault(QWidget* window, const QStringList& buttons) {
  QList<QWidget*> controls;
  for (const QString& name : buttons) controls << window->findChild<QWidget*>(name);
  for (auto* caption : window->findChildren<QLabel*>())
    if (caption->buddy() && (caption->buddy()->focusPolicy() & Qt::TabFocus)) controls << caption;
  QSet<QString> letters;
  for (QWidget* control : controls) {
    if (!control) return "missing: " + buttons.join(',');
    const auto* button = qobject_cast<QAbstractButton*>(control);
    const QString text = button ? button->text() : static_cast<QLabel*>(control)->text();
    const QString letter = QKeySequence::mnemonic(text).toString().remove("Alt+");
    if (letter.isEmpty() || letters.contains(letter)) return control->objectName() + ": " + text;
    letters << letter;
    const QString heard = QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
    if (heard.isEmpty() || heard.contains("(" + letter + ")")) return control->objectName() + " reads " + heard;
  }
  return {};
}

const QStringList kMainWindowOrder{
    "isAccount",         "isId",         "txtUsrAgcode",        "txtUserAccountNo",  "txtUserIdNo",
    "txtSecureLoginPwd", "txtLoginPwd",  "chkShowPwdPlainText", "btnLogin",          "btnCrtIdno",
    "btnApplyCert",      "btnRenewCert", "btnRevokeCert",       "btnQrySvrCertInfo", "btnQryClntCertInfo",
    "btnChgPfxPwd",      "btnDepCert",   "btnRmvDepCert",       "tvSvrCertInfo",     "tvClntCertInfo",
    "btnBrowsePfxFile",  "openURL"};

}  // namespace

class KeyboardTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() { QCoreApplication::setApplicationName("KARV"); }

  // Login, the Load-PFX dialog and both tables, by keys only: Tab follows
  // the reading order and leaves the tables, Enter presses the focused
  // button, and the focus comes back to the button that started the work.
  void mainWindowByKeys() {
    AppHarness h;
    h.launch();
    auto& app = h.app();
    QWidget* window = app.window();
    Ui::MainWindow* ui = app.ui();
    const Keyboard keys(window);
    QCOMPARE(keys.focusName(), QString("txtUserAccountNo"));
    const QStringList loggedOut = rotatedTo(usable(window, kMainWindowOrder), "txtUserAccountNo");
    QCOMPARE(keys.tabCycle(), loggedOut);
    QCOMPARE(keys.tabCycle(Qt::ShiftModifier), reversed(loggedOut));
    QCOMPARE(mnemonicFault(window, {"btnLogin", "btnCrtIdno", "btnApplyCert", "btnRenewCert", "btnRevokeCert",
                                    "btnQrySvrCertInfo", "btnQryClntCertInfo", "btnChgPfxPwd", "btnDepCert",
                                    "btnRmvDepCert", "btnBrowsePfxFile", "openURL"}),
             QString());

    // The arrow key on the login-mode radio switches to the ID layout.
    QVERIFY(keys.tabTo("isAccount"));
    keys.press(Qt::Key_Right);
    QVERIFY(ui->isId->isChecked() && ui->txtUserIdNo->isVisible());
    keys.press(Qt::Key_Tab);
    QCOMPARE(keys.focusName(), QString("txtUserIdNo"));
    keys.type(demo::kExpiring.idno);
    keys.press(Qt::Key_P, Qt::AltModifier);  // the password's caption
    QCOMPARE(keys.focusName(), QString("txtSecureLoginPwd"));
    keys.type(demo::kExpiring.pwd);
    QVERIFY(keys.tabTo("btnLogin"));
    h.alerts().answerFor(kRenewalOffer, 1001);
    keys.press(Qt::Key_Return);
    QVERIFY(app.isUserLogin());
    QCOMPARE(h.alerts().texts(), (QStringList{"登入作業已完成", kRenewalOffer}));
    QCOMPARE(keys.focusName(), QString("btnLogin"));
    QCOMPARE(ui->btnLogin->accessibleName(), QString("登出"));

    // The local certificate: the Load-PFX dialog, its file picked with the
    // browse button and its password typed.
    QVERIFY(keys.tabTo("btnQryClntCertInfo"));
    keys.press(Qt::Key_Return);
    auto* load = activeSheet<karv::app::LoadPfxWindowController>();
    QVERIFY(load);
    QCOMPARE(keys.tabCycle(), (QStringList{"txtPfxFilePwd", "btnOk", "btnCancel", "btnBrowseFile"}));
    QCOMPARE(mnemonicFault(load, {"btnBrowseFile"}), QString());
    h.fileChooser().chooseNext(h.copyDemoPfx(demo::kExpiring, "cert.pfx"));
    QVERIFY(keys.tabTo("btnBrowseFile"));
    keys.press(Qt::Key_Return);
    QCOMPARE(h.fileChooser().requests.size(), 1);
    keys.press(Qt::Key_Tab);
    keys.type(kDemoPwd);
    keys.press(Qt::Key_Return);
    QVERIFY(!load->isVisible());
    QCOMPARE(keys.focusName(), QString("btnQryClntCertInfo"));

    // Both tables have rows now; each is one stop, and Tab, Shift+Tab and
    // Ctrl+Tab lead out of it.
    QVERIFY(ui->tvSvrCertInfo->model()->rowCount() > 0 && ui->tvClntCertInfo->model()->rowCount() > 0);
    const QStringList loggedIn = rotatedTo(usable(window, kMainWindowOrder), "btnQryClntCertInfo");
    QCOMPARE(keys.tabCycle(), loggedIn);
    QCOMPARE(keys.tabCycle(Qt::ShiftModifier), reversed(loggedIn));
    QVERIFY(keys.tabTo("tvSvrCertInfo"));
    keys.press(Qt::Key_Down);
    QCOMPARE(keys.focusName(), QString("tvSvrCertInfo"));
    keys.press(Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(keys.focusName(), QString("tvClntCertInfo"));
    keys.press(Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(keys.focusName(), QString("tvSvrCertInfo"));

    // The link-like button shows when it has the focus.
    QVERIFY(keys.tabTo("openURL"));
    QApplication::setActiveWindow(window);  // drawn as on the desktop, where the window is the active one
    QVERIFY(ui->openURL->hasFocus());
    const QImage focusedLook = ui->openURL->grab().toImage();
    keys.press(Qt::Key_Tab);
    QVERIFY(ui->openURL->grab().toImage() != focusedLook);
  }

  // An application from its button to the saved .pfx, every dialog by keys:
  // the arrow key chooses the delivery it moves to.
  void applicationByKeys() {
    AppHarness h;
    QVERIFY(h.logIn(demo::kAlice));
    auto& app = h.app();
    const Keyboard keys(app.window());
    app.ui()->btnLogin->setFocus();
    QVERIFY(keys.tabTo("btnApplyCert"));
    keys.press(Qt::Key_Return);

    auto* identity = activeSheet<karv::app::UserAuthWindowController>();
    QVERIFY(identity);
    // The delivery methods are one stop, and none is chosen yet.
    QCOMPARE(keys.tabCycle(), (QStringList{"txtUserBirth", "useMail", "btnOK", "btnCancel"}));
    QCOMPARE(mnemonicFault(identity, {}), QString());
    keys.type(demo::kAlice.birth);
    keys.press(Qt::Key_Tab);
    QCOMPARE(keys.focusName(), QString("useMail"));
    keys.press(Qt::Key_Down);
    QCOMPARE(keys.focusName(), QString("usePhone"));
    QVERIFY(identity->findChild<QRadioButton*>("usePhone")->isChecked() && identity->method() == "Phone");
    keys.press(Qt::Key_Return);
    QVERIFY(h.lastOutboxMessage() && h.lastOutboxMessage()->channel == "sms");

    auto* code = activeSheet<karv::app::AuthCodeWindowController>();
    QVERIFY(code);
    QCOMPARE(keys.tabCycle(), (QStringList{"authCode", "btnOK", "btnReAuth"}));
    QCOMPARE(mnemonicFault(code, {"btnReAuth"}), QString());
    keys.type(QString::fromStdString(h.lastOutboxMessage()->code));
    keys.press(Qt::Key_Return);

    auto* agreement = activeSheet<karv::app::UserAgreementWindowController>();
    QVERIFY(agreement);
    QCOMPARE(keys.tabCycle(), (QStringList{"wvUserAgreement", "chkAgree", "btnCancel"}));  // 下一步 waits
    QCOMPARE(mnemonicFault(agreement, {"chkAgree"}), QString());
    keys.press(Qt::Key_A, Qt::AltModifier);
    keys.press(Qt::Key_Space);
    keys.press(Qt::Key_Tab);
    QCOMPARE(keys.focusName(), QString("btnNextStep"));
    keys.press(Qt::Key_Return);

    auto* save = activeSheet<karv::app::SavePfxWindowController>();
    QVERIFY(save);
    QCOMPARE(keys.tabCycle(), (QStringList{"txtPfxPwd", "txtPfxPwdCfm", "btnOK", "btnCancel", "btnBrowserFilePath"}));
    QCOMPARE(mnemonicFault(save, {"btnBrowserFilePath"}), QString());
    keys.type(kDemoPwd);
    keys.press(Qt::Key_C, Qt::AltModifier);
    keys.type(kDemoPwd);
    h.alerts().answerFor(kInstallQuestion, 1001);  // not into the browsers now
    keys.press(Qt::Key_Return);
    QVERIFY(!save->isVisible() && QFile::exists(h.currentPath()));
    QVERIFY(!activeSheet() && app.ui()->tvClntCertInfo->model()->rowCount() > 0);
    // The focus is back where the application started, or on the next
    // button still usable.
    QVERIFY(!app.ui()->isAccount->hasFocus() && !app.ui()->isId->hasFocus());
    QCOMPARE(keys.focusName(),
             usable(app.window(), kMainWindowOrder.mid(kMainWindowOrder.indexOf("btnApplyCert"))).first());
  }

  // The other dialogs: reading order, mnemonics, and Enter on the focused
  // Cancel cancels (it used to press OK).
  void otherDialogsByKeys() {
    AppHarness h;
    QVERIFY(h.logIn(demo::kExpiring));
    auto& app = h.app();
    const Keyboard keys(app.window());
    const struct {
      std::function<void()> open;
      QStringList order;  // the reading order
      QStringList buttons;
    } cases[] = {
        {[&] { app.showBtsCertDlPwdWindow([&](int code, const QString&) { h.codes << code; }); },
         {"txtUserBtsCertDlPwd", "btnOK", "btnCancel"},
         {}},
        {[&] { app.showChgPfxPwdWindow(h.handler()); },
         {"btnBrowseFile", "txtOldPwd", "txtNewPwd", "txtNewPwdCfm", "btnOK", "btnCancel"},
         {"btnBrowseFile"}},
        {[&] { app.showUserChgBtsLoginPwdWindow(demo::kExpiring.idno, h.handler()); },
         {"txtUserBtsLoginOldPwd", "txtUserBtsLoginNewPwd", "txtUserBtsLoginNewPwdConfirm", "btnOK", "btnCancel"},
         {}},
        // The browsers this machine has.
        {[&] { app.showDepCertWindow(std::string("M"), [&](int code, const auto&) { h.codes << code; }); },
         {"imgBtnSafari", "imgBtnChrome", "imgBtnFireFox", "btnOK", "btnCancel"},
         {}},
    };
    for (const auto& c : cases) {
      h.codes.clear();
      c.open();
      QDialog* sheet = activeSheet();
      QVERIFY(sheet);
      QCOMPARE(keys.tabCycle(), rotatedTo(usable(sheet, c.order), keys.focusName()));
      QCOMPARE(mnemonicFault(sheet, c.buttons), QString());
      QVERIFY(keys.tabTo("btnCancel"));
      keys.press(Qt::Key_Return);
      QVERIFY(!sheet->isVisible());
      QCOMPARE(h.codes, QList<int>{0});
    }
  }
};

QTEST_MAIN(KeyboardTest)
#include "keyboard_test.moc"
