#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace karv::app {

bool installQtTranslations() {
  static QTranslator* installed = nullptr;
  if (installed) return true;
  auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
  if (!translator->load(QStringLiteral("qtbase_zh_TW"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    return false;
  QCoreApplication::installTranslator(translator.get());
  installed = translator.release();  // the application owns it
  return true;
}

}  // namespace karv::app
