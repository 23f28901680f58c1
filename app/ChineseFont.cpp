#include "app/ChineseFont.h"

#include <QApplication>
#include <QFont>

namespace karv::app {

void preferTraditionalChineseFont() {
  // Qt takes the first installed family of the list when it first draws
  // text; asking the font database which ones are installed would read every
  // installed font before the window is even made.
  QFont font = QApplication::font();
  font.setFamilies({"Noto Sans CJK TC", "Noto Sans TC", "WenQuanYi Zen Hei", "AR PL UMing TW", font.family()});
  QApplication::setFont(font);
}

}  // namespace karv::app
