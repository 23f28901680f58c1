#include "WorkflowSupport.h"

#include <QCheckBox>
#include <QEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QUrl>

#include "AuthCodeWindowController.h"
#include "KARVMask.h"
#include "UserAgreementWindowController.h"

namespace karv::test {

bool enterCode(const std::string& code) {
  auto* sheet = activeSheet<app::AuthCodeWindowController>();
  if (!sheet) return false;
  typeInto(control<QLineEdit>(sheet, "authCode"), QString::fromStdString(code));
  click(control<QPushButton>(sheet, "btnOK"));
  return true;
}

bool verifyIdentity(AppHarness& h, QAbstractButton* button, const DemoUserRef& user, const char* choice) {
  const size_t sentBefore = h.gateway().outboxMessages().size();
  click(button);
  if (!answerIdentity(user.birth, choice)) return false;
  const auto sent = h.lastOutboxMessage();
  return h.gateway().outboxMessages().size() > sentBefore && enterCode(sent->code);
}

bool answerAgreement(bool agree) {
  auto* sheet = activeSheet<app::UserAgreementWindowController>();
  if (!sheet) return false;
  if (agree) click(control<QCheckBox>(sheet, "chkAgree"));
  click(control<QPushButton>(sheet, agree ? "btnNextStep" : "btnCancel"));
  return true;
}

FlowRecorder::FlowRecorder(AppHarness& h) : h_(h) {
  connect(h.app().mask(), &app::KARVMask::promptShown, this, [this](const QString& prompt) {
    if (!prompt.isEmpty()) events_ << "overlay:" + prompt;
  });
  h.alerts().onPresent = [this] { events_ << "alert:" + h_.alerts().shown().last().text; };
  qApp->installEventFilter(this);
}

FlowRecorder::~FlowRecorder() {
  qApp->removeEventFilter(this);
  h_.alerts().onPresent = nullptr;
}

bool FlowRecorder::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Show && qobject_cast<app::SheetDialog*>(watched)) {
    const QString name = QString::fromLatin1(watched->metaObject()->className());
    events_ << "dialog:" + name.section("::", -1);
  }
  return false;
}

QStringList sentValues(const std::vector<gateway::RecordedRequest>& requests) {
  QStringList values;
  for (const auto& request : requests) {
    for (const QString& field : QString::fromStdString(request.body).split('&', Qt::SkipEmptyParts)) {
      const QString value = field.section('=', 1);
      if (value.isEmpty()) continue;
      values << value << QUrl::fromPercentEncoding(value.toLatin1());
    }
  }
  return values;
}

QString leakingLine(const QStringList& lines, QStringList secrets) {
  secrets.removeAll(QString());
  const QRegularExpression base64Run("[A-Za-z0-9+/=]{41,}");
  const QRegularExpression hexRun("[0-9A-Fa-f]{65,}");
  for (const QString& line : lines) {
    const bool leaks = std::any_of(secrets.begin(), secrets.end(), [&](const QString& s) { return line.contains(s); });
    if (leaks || base64Run.match(line).hasMatch() || hexRun.match(line).hasMatch()) return line;
  }
  return {};
}

}  // namespace karv::test
