#include "ChineseFont.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>

namespace karv::app {

void preferTraditionalChineseFont() {
  const QStringList installed = QFontDatabase::families();
  for (const char* family : {"Noto Sans CJK TC", "Noto Sans TC", "WenQuanYi Zen Hei", "AR PL UMing TW"}) {
    if (installed.contains(QString::fromUtf8(family))) {
      QFont font = QApplication::font();
      font.setFamilies({QString::fromUtf8(family)});
      QApplication::setFont(font);
      return;
    }
  }
}

}  // namespace karv::app
