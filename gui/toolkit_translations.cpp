#include "gui/toolkit_translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace vr512b::gui {

bool LoadToolkitTranslations(QCoreApplication& application) {
  const QLocale russian(QLocale::Russian, QLocale::Russia);
  const QString folders[] = {
      QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations")),
      QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
  for (const QString& folder : folders) {
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(russian, QStringLiteral("qtbase"), QStringLiteral("_"), folder) &&
        QCoreApplication::installTranslator(translator.get())) {
      // Owned by the application, which uses it as long as it runs.
      translator.release()->setParent(&application);
      return true;
    }
  }
  return false;
}

}  // namespace vr512b::gui
