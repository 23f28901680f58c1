#include "ChineseFont.h"

#include <QApplication>
#include <QFont>

namespace karv::app {

void preferTraditionalChineseFont() {
  QFont font = QApplication::font();
  font.setFamilies({"Noto Sans CJK TC", "Noto Sans TC", "WenQuanYi Zen Hei", "AR PL UMing TW", font.family()});
  QApplication::setFont(font);
}

}  // namespace karv::app
