#pragma once
#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <optional>

namespace karv::app {

// What the command line asks of the program. A new switch is a field here and
// one line in the table of CommandLine.cpp.
struct CommandLineOptions {
  bool help = false;
  bool version = false;
  bool verbose = false;
  bool checkExpiry = false;
};

// The program's command line over QCommandLineParser. It is read twice: before
// the application object exists, so that --help and --version answer without a
// display, and again once QApplication has taken its own options (-platform,
// -style, -session...), when anything left unknown is an error.
class CommandLine {
 public:
  enum class Unknown { Leave, Refuse };
  // What the program prints and its exit code, when it ends at once.
  struct Exit {
    int code = 0;
    QString out;  // for standard output
    QString err;  // for standard error
  };

  CommandLine();
  // Reads the arguments (the program name first) into options(). Gives the
  // answer to --help or --version, or a usage error, when the program should
  // end instead of starting.
  [[nodiscard]] std::optional<Exit> read(const QStringList& arguments, Unknown unknown);
  [[nodiscard]] const CommandLineOptions& options() const { return options_; }
  [[nodiscard]] QString helpText() const;

  // The arguments of main() as the parser takes them.
  [[nodiscard]] static QStringList argumentsOf(int argc, char** argv);

 private:
  QCommandLineParser parser_;
  CommandLineOptions options_;
};

}  // namespace karv::app
