// A yardstick of the start-up benchmark (bench/startup.sh): the client's login
// window as its layout makes it, with the client's font, and nothing else: no
// gateway, no version check. What it takes beyond the bare window is the cost
// of the window itself; what the client takes beyond it is everything else.
#include <QApplication>
#include <QMainWindow>
#include <cstdio>

#include "app/ChineseFont.h"
#include "ui_MainWindow.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  karv::app::preferTraditionalChineseFont();
  QMainWindow window;
  Ui::MainWindow ui;
  ui.setupUi(&window);
  window.show();
  std::fputs("window ready\n", stderr);
  return QApplication::exec();
}
