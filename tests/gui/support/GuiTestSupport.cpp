#include "GuiTestSupport.h"

#include <QTest>

#include "KarvBuildConfig.h"

namespace karv::test {

int ScriptedAlertPresenter::present(const Alert& alert) {
  shown_.append({alert.style, alert.title, alert.text, alert.buttons});
  if (const auto byText = answersByText_.constFind(alert.text); byText != answersByText_.constEnd()) return *byText;
  return answers_.isEmpty() ? 1000 : answers_.dequeue();
}

void typeInto(QLineEdit* field, const QString& text) {
  field->setFocus();
  field->selectAll();
  QTest::keyClick(field, Qt::Key_Backspace);
  QTest::keyClicks(field, text);
}

void click(QAbstractButton* button) {
  // Radio buttons and check boxes take clicks on their indicator and text
  // only, which may end short of the middle of a wide control.
  const QPoint at =
      button->isCheckable() ? QPoint(qMin(8, button->width() / 2), button->height() / 2) : button->rect().center();
  QTest::mouseClick(button, Qt::LeftButton, {}, at);
}

QStringList ScriptedAlertPresenter::texts() const {
  QStringList list;
  for (const auto& s : shown_) list << s.text;
  return list;
}

AppHarness::AppHarness() {
  auto options = gateway::GatewayOptions::fromBuild();
  options.port = 0;
  options.tls = false;
  gateway_ = std::make_unique<gateway::DevGateway>(options);
  if (!gateway_->start()) qFatal("development gateway did not start");
}

AppHarness::~AppHarness() = default;

GatewayEndpoint AppHarness::endpoint() const {
  return GatewayEndpoint{gateway_->baseUrl(), build::kPublicKeyPem, "", 5};
}

app::AppDelegate& AppHarness::app() {
  if (!app_) {
    app::AppServices services;
    const GatewayEndpoint ep = endpoint();
    services.makeProtocolClient = [ep, factory = clientFactory_] { return factory(ep); };
    services.alerts = alerts_;
    services.desktop = desktop_;
    services.clock = clock_;
    services.terminate = [this] { ++terminations_; };
    services.startTimers = false;
    app_ = std::make_unique<app::AppDelegate>(services);
  }
  return *app_;
}

}  // namespace karv::test
