// What a screen reader finds in the main window and every dialog (through
// Qt's accessibility interfaces, the ones the accessibility bus serves), and
// the window on a small screen and in a dark palette.
#include <QAccessible>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QtTest>

#include "GuiTestSupport.h"
#include "app/KARVMask.h"
#include "app/PathLabel.h"
#include "app/QtTranslations.h"
#include "app/ReadableColors.h"
#include "ui_MainWindow.h"

using namespace karv::test;
using karv::app::contrastRatio;
using karv::app::kMinimumTextContrast;

namespace {

QAccessibleInterface* accessible(QObject* object) { return QAccessible::queryAccessibleInterface(object); }

bool hasHan(const QString& text) {
  return std::any_of(text.begin(), text.end(), [](QChar c) { return c.script() == QChar::Script_Han; });
}

// The captions a screen reader reads with a field: labels whose buddy it is,
// or the titled group it sits in.
QStringList captionsOf(QAccessibleInterface* iface) {
  QStringList captions;
  for (const auto& [other, relation] : iface->relations(QAccessible::Label))
    if (qobject_cast<QLabel*>(other->object()) || qobject_cast<QGroupBox*>(other->object()))
      captions << other->text(QAccessible::Name);
  return captions;
}

// Every control that shows: a Chinese name (a browser's button: the
// browser's); every field that takes text or a choice: a caption. Faults as
// "window.object: what".
void inspect(QAccessibleInterface* iface, const QString& window, QStringList& faults) {
  if (!iface || iface->state().invisible) return;
  const QAccessible::Role role = iface->role();
  const QString where = window + "." + (iface->object() ? iface->object()->objectName() : QString("?"));
  static const QList<QAccessible::Role> controls{QAccessible::PushButton,   QAccessible::RadioButton,
                                                 QAccessible::CheckBox,     QAccessible::ComboBox,
                                                 QAccessible::EditableText, QAccessible::Table};
  const QString name = iface->text(QAccessible::Name);
  const bool browser = qobject_cast<QToolButton*>(iface->object());
  // (A box's name is its choice; its caption says what it is.)
  if (controls.contains(role) && role != QAccessible::ComboBox && !(browser ? !name.isEmpty() : hasHan(name)))
    faults << where + ": no name";
  const bool field = role == QAccessible::ComboBox || (role == QAccessible::EditableText && !iface->state().readOnly);
  if (field && captionsOf(iface).filter(QRegularExpression("\\p{Han}")).isEmpty()) faults << where + ": no caption";
  if (role == QAccessible::Table) return;  // cells: see the row headers
  for (int i = 0; i < iface->childCount(); ++i) inspect(iface->child(i), window, faults);
}

QPalette darkPalette() {
  // qt6ct's "darker" scheme (/usr/share/qt6ct/colors/darker.conf).
  QPalette dark(QColor(0x42, 0x42, 0x45), QColor(0x22, 0x20, 0x20));
  for (QPalette::ColorRole text : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    dark.setColor(text, Qt::white);
  dark.setColor(QPalette::Base, QColor(0x3d, 0x3d, 0x3d));
  dark.setColor(QPalette::Link, QColor(0x09, 0x86, 0xd3));
  return dark;
}

}  // namespace

class AccessibilityTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() { QCoreApplication::setApplicationName("KARV"); }

  void everyControlNamedEveryFieldCaptioned() {
    AppHarness h;
    h.launch();
    auto& app = h.app();
    Ui::MainWindow& ui = *app.ui();
    QStringList faults;
    inspect(accessible(app.window()), "window", faults);
    // Before there is a file, no empty path or days left to land on.
    QVERIFY(ui.lblPfxFilePath->isHidden() && ui.lblPfxDaysLeft->isHidden());
    // The branch box keeps its caption once a branch is chosen.
    ui.txtUsrAgcode->setCurrentIndex(1);
    QVERIFY(captionsOf(accessible(ui.txtUsrAgcode)).contains("分公司／帳號"));
    // The shown password field has the caption, whichever it is.
    for (QLineEdit* shown : {ui.txtLoginPwd, ui.txtSecureLoginPwd}) {
      ui.chkShowPwdPlainText->click();
      QVERIFY(captionsOf(accessible(shown)).contains("交易密碼"));
    }
    QVERIFY(h.logIn(demo::kAlice));  // the gateway's password rule comes with the login
    inspect(accessible(app.window()), "window", faults);

    const struct {
      std::function<void()> open;
      QStringList ruleFields;  // described by the password rule the dialog shows
    } dialogs[] = {
        {[&] { app.showUserAuthWindow("a@example.com", "0912", "19800115", "憑證申請", h.handler()); }, {}},
        {[&] { app.showAuthCodeWindow(h.handler()); }, {}},
        {[&] { app.showBtsCertDlPwdWindow(h.handler()); }, {}},
        {[&] { app.showUserAgreement(h.handler()); }, {}},
        {[&] { app.showUserChgBtsLoginPwdWindow("A123456789", h.handler()); },
         {"txtUserBtsLoginNewPwd", "txtUserBtsLoginNewPwdConfirm"}},
        {[&] { app.showSavePfxWindow("", "", h.handler()); }, {"txtPfxPwd", "txtPfxPwdCfm"}},
        {[&] { app.showLoadPfxWindow("", "", "", "", h.handler()); }, {}},
        {[&] { app.showChgPfxPwdWindow(h.handler()); }, {"txtNewPwd", "txtNewPwdCfm"}},
        {[&] { app.showDepCertWindow(std::string("Y"), [](int, const auto&) {}); }, {}},
    };
    for (const auto& dialog : dialogs) {
      dialog.open();
      QDialog* sheet = activeSheet();
      QVERIFY(sheet);
      inspect(accessible(sheet), sheet->objectName(), faults);
      for (const QString& name : dialog.ruleFields) {
        const QString description = accessible(sheet->findChild<QLineEdit*>(name))->text(QAccessible::Description);
        const QList<QLabel*> labels = sheet->findChildren<QLabel*>();
        QVERIFY2(description.size() > 4 &&
                     std::any_of(labels.begin(), labels.end(), [&](QLabel* l) { return l->text() == description; }),
                 qPrintable(name));
      }
      // The path shown (a dialog with one) is read with its caption.
      if (auto* path = sheet->findChild<QLabel*>("lblPfxFilePath")) {
        QVERIFY(!captionsOf(accessible(path)).filter(QRegularExpression("^(儲存路徑|憑證檔)$")).isEmpty());
        QCOMPARE(accessible(path)->text(QAccessible::Name), path->text());
      }
      sheet->reject();
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join("\n")));
  }

  // The path, the days left, the overlay's prompt and the table rows read as the screen shows them.
  void valuesAreReadable() {
    AppHarness h;
    QVERIFY(h.logIn(demo::kAlice));
    auto& app = h.app();
    Ui::MainWindow& ui = *app.ui();
    const QString longPath = h.path(QString("憑證/").repeated(8) + QString("x").repeated(40) + ".pfx");
    app.setCurrentPfxFilePath(longPath);
    QAccessibleInterface* path = accessible(ui.lblPfxFilePath);
    QCOMPARE(path->text(QAccessible::Name), longPath);
    QCOMPARE(path->text(QAccessible::Description), QString("憑證檔案路徑"));
    QCOMPARE(captionsOf(path), QStringList{"憑證檔案："});

    const QString notAfter = h.clock().now().addDays(20).toLocalTime().toString("yyyyMMddHHmmss");
    QVERIFY(app.rememberCurrentCertificate(longPath, {{"cn", "A123456789-01"},
                                                      {"serial", "1A2B"},
                                                      {"notAfter", notAfter.toStdString()},
                                                      {"issuer", "CN=KARV Dev CA"}}));
    QAccessibleInterface* daysLeft = accessible(ui.lblPfxDaysLeft);
    QCOMPARE(daysLeft->text(QAccessible::Name), QString("效期至 2026/01/25，剩餘 20 天"));
    QCOMPARE(daysLeft->text(QAccessible::Description), QString("憑證剩餘效期"));

    // The overlay takes the focus with its prompt as its name, busy while the bar runs.
    app.showMask("正在寄送認證碼...");
    QAccessibleInterface* mask = accessible(app.mask());
    QVERIFY(app.window()->focusWidget() == app.mask());
    QVERIFY(mask->text(QAccessible::Name) == "正在寄送認證碼..." && mask->state().busy);
    app.showIdle("閒置過久，將於 30 秒後登出");
    QVERIFY(mask->text(QAccessible::Name) == "閒置過久，將於 30 秒後登出" && !mask->state().busy);
    app.hideMask();
    QVERIFY(!mask->state().busy);

    // Each row is named by its item.
    app.renderSvrCertInfo({{"certUserId", "A123456789"}, {"serial", "1A2B"}, {"state", "1"}});
    QAccessibleTableInterface* table = accessible(ui.tvSvrCertInfo)->tableInterface();
    QStringList rowHeaders;
    for (int row = 0; row < table->rowCount(); ++row)
      for (QAccessibleInterface* header : table->cellAt(row, 1)->tableCellInterface()->rowHeaderCells()) {
        rowHeaders << header->text(QAccessible::Name);
        QAccessible::registerAccessibleInterface(header);  // Qt makes a new one per call and owns none of them
      }
    QCOMPARE(rowHeaders,
             (QStringList{"身分證號", "CN", "憑證序號", "憑證效期(起)", "憑證效期(迄)", "憑證狀態", "憑證安裝"}));
  }

  // The home-page link and the overlay keep 4.5:1 in a light and a dark palette.
  void linkAndOverlayKeepContrast() {
    const QPalette before = QApplication::palette();
    for (const QPalette& palette : {QApplication::style()->standardPalette(), darkPalette()}) {
      QApplication::setPalette(palette);
      AppHarness h;
      h.launch();
      auto& app = h.app();
      const QPalette link = app.ui()->openURL->palette();
      const double linkContrast = contrastRatio(link.color(QPalette::ButtonText), link.color(QPalette::Window));
      app.showMask("處理中，請稍候");
      const QPalette prompt = app.mask()->lblPrompt()->palette();
      const QColor text = prompt.color(app.mask()->lblPrompt()->foregroundRole());
      const double promptContrast = contrastRatio(text, prompt.color(app.mask()->lblPrompt()->backgroundRole()));
      // The veil over the lightest and darkest things beneath it, against the text.
      double veilContrast = 100;
      for (QPalette::ColorRole beneath : {QPalette::Window, QPalette::Base, QPalette::Button})
        veilContrast = std::min(veilContrast,
                                contrastRatio(text, karv::app::blend(app.mask()->veilColor(), palette.color(beneath))));
      const QString figures =
          QString("link %1:1, prompt %2:1, veil %3:1").arg(linkContrast).arg(promptContrast).arg(veilContrast);
      qInfo("%s palette: %s", palette.color(QPalette::Window).lightness() > 128 ? "light" : "dark",
            qPrintable(figures));
      QVERIFY2(linkContrast >= kMinimumTextContrast && promptContrast >= kMinimumTextContrast &&
                   veilContrast >= kMinimumTextContrast,
               qPrintable(figures));
    }
    QApplication::setPalette(before);
    // The product's sky blue itself fails on a light background (1.85:1).
    QVERIFY(contrastRatio(QColor(0, 191, 255), QColor(239, 239, 239)) < 2.0);
  }

  // On an 800x600 screen (the offscreen one) the window fits, whatever the
  // path; the program's icon is the windows' icon; Qt's own texts are Chinese.
  void fitsSmallScreenWithIconAndChineseTexts() {
    AppHarness h;
    QVERIFY(h.logIn(demo::kAlice));
    auto& app = h.app();
    const QRect screen = app.window()->screen()->availableGeometry();
    QCOMPARE(screen.size(), QSize(800, 600));
    app.setCurrentPfxFilePath(h.path(QString("x").repeated(89) + ".pfx"));
    QVERIFY2(screen.contains(app.window()->frameGeometry()),
             qPrintable(QString("window %1x%2").arg(app.window()->width()).arg(app.window()->height())));
    QVERIFY(app.window()->minimumSizeHint().width() <= screen.width());
    auto* path = static_cast<karv::app::PathLabel*>(app.ui()->lblPfxFilePath);
    QVERIFY(path->shownText().contains(QChar(0x2026)) && path->text().endsWith(".pfx"));
    QVERIFY(!app.window()->windowIcon().isNull() && !app.window()->windowIcon().pixmap(QSize(64, 64), 2.0).isNull());

    QVERIFY(karv::app::installQtTranslations());
    QVERIFY(hasHan(QCoreApplication::translate("QFileDialog", "File &name:")));

    // 在檔案管理員中顯示 says so when no file manager answers; silent when one does.
    h.desktop().revealSucceeds = false;
    click(app.ui()->btnBrowsePfxFile);
    h.desktop().revealSucceeds = true;
    click(app.ui()->btnBrowsePfxFile);
    QCOMPARE(h.alerts().texts().filter("檔案管理員"), QStringList{"無法開啟檔案管理員顯示憑證檔"});
  }
};

QTEST_MAIN(AccessibilityTest)
#include "accessibility_test.moc"
