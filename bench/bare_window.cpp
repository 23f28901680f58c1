// The yardstick of the start-up benchmark (bench/startup.sh): a bare Qt
// Widgets window, built like the client, that says on standard error when it
// is shown, at the point where the client says "login window ready".
#include <QApplication>
#include <QMainWindow>
#include <cstdio>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.show();
  std::fputs("window ready\n", stderr);
  return QApplication::exec();
}
