#include "app/CommandLine.h"

#include <QCommandLineOption>
#include <algorithm>

#include "KarvBuildConfig.h"

namespace karv::app {
namespace {

constexpr int kUsageError = 2;

struct Switch {
  QStringList names;
  const char* description;
  bool CommandLineOptions::*field;
};

const QList<Switch>& switches() {
  static const QList<Switch> kSwitches = {
      {{"h", "help"}, "顯示這份說明後結束。", &CommandLineOptions::help},
      {{"v", "version"}, "顯示版本後結束。", &CommandLineOptions::version},
      {{"verbose"}, "每一行記錄除了寫入系統記錄，也同時寫到標準錯誤輸出。", &CommandLineOptions::verbose},
      {{"check-expiry"}, "不開視窗，只檢查憑證是否快要到期，需要時以桌面通知提醒。", &CommandLineOptions::checkExpiry},
  };
  return kSwitches;
}

QString spelled(const QStringList& names) {
  QStringList forms;
  for (const QString& n : names) forms << (n.size() == 1 ? "-" : "--") + n;
  return forms.join(", ");
}

}  // namespace

CommandLine::CommandLine() {
  // "-platform" is one option, never the letters p, l, a...
  parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  for (const Switch& s : switches()) parser_.addOption(QCommandLineOption(s.names, QString::fromUtf8(s.description)));
}

QStringList CommandLine::argumentsOf(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  return arguments;
}

std::optional<CommandLine::Exit> CommandLine::read(const QStringList& arguments, Unknown unknown) {
  const bool clean = parser_.parse(arguments);
  for (const Switch& s : switches()) options_.*s.field = parser_.isSet(s.names.first());
  if (options_.help) return Exit{0, helpText(), {}};
  if (options_.version) return Exit{0, QString("KARV %1\n").arg(QString::fromUtf8(build::kClientVersion)), {}};
  if (unknown == Unknown::Leave) return std::nullopt;

  QString problem;
  if (!parser_.unknownOptionNames().isEmpty())
    problem = QString("不明的選項：%1").arg(spelled(parser_.unknownOptionNames()));
  else if (!clean)
    problem = parser_.errorText();
  else if (!parser_.positionalArguments().isEmpty())
    problem = QString("多餘的參數：%1").arg(parser_.positionalArguments().join(" "));
  if (problem.isEmpty()) return std::nullopt;
  return Exit{kUsageError, {}, QString("karv：%1\n請執行 karv --help 查看用法。\n").arg(problem)};
}

QString CommandLine::helpText() const {
  QString text = "用法：karv [選項]\nKARV 憑證管理：申請、更新、廢止、查詢證券憑證，並把憑證安裝到瀏覽器。\n\n選項：\n";
  int width = 0;
  for (const Switch& s : switches()) width = std::max<int>(width, spelled(s.names).size());
  for (const Switch& s : switches())
    text += QString("  %1  %2\n").arg(spelled(s.names), -width).arg(QString::fromUtf8(s.description));
  text += "\n記錄寫入系統記錄，可用 journalctl -t karv 查看。\n";
  return text;
}

}  // namespace karv::app
