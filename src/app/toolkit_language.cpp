#include "app/toolkit_language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "i18n/lang.h"

namespace rtd::app {
namespace {

// The installed catalogue is a child of the application object, found again
// by this name, so it lives exactly as long as the application.
constexpr const char* kCatalogueName = "rtdToolkitRussian";

QTranslator* InstalledCatalogue(QCoreApplication* app) {
  return app->findChild<QTranslator*>(QLatin1String(kCatalogueName), Qt::FindDirectChildrenOnly);
}

}  // namespace

bool ApplyToolkitLanguage(int32_t language) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return language == kLanguageEnglish;  // nothing to translate yet
  if (language == kLanguageEnglish) {
    if (QTranslator* catalogue = InstalledCatalogue(app)) {
      QCoreApplication::removeTranslator(catalogue);
      delete catalogue;
    }
    return true;
  }
  if (InstalledCatalogue(app) != nullptr) return true;
  auto* catalogue = new QTranslator(app);
  catalogue->setObjectName(QLatin1String(kCatalogueName));
  if (!catalogue->load(QLatin1String("qtbase_ru"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
      !QCoreApplication::installTranslator(catalogue)) {
    delete catalogue;
    return false;
  }
  return true;
}

}  // namespace rtd::app
