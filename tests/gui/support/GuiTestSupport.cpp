#include "GuiTestSupport.h"

#include "KarvBuildConfig.h"

namespace karv::test {

int ScriptedAlertPresenter::present(const Alert& alert) {
  shown_.append({alert.style, alert.title, alert.text, alert.buttons});
  return answers_.isEmpty() ? 1000 : answers_.dequeue();
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
    services.makeProtocolClient = [ep] { return std::make_unique<KARVLib>(ep); };
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
