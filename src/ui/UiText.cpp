#include "ui/UiText.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/LanguageTable.h"
#include "app/StringIds.h"
#include "settings/EllipsoidDatabase.h"
#include "text/TextEncoding.h"

namespace pelmar::ui {

namespace {
const LanguageTable* current = nullptr;
const LanguageTable& empty() {
  static const LanguageTable table;
  return table;
}
}  // namespace

void setLanguageTable(const LanguageTable* table) { current = table; }

const LanguageTable& languageTable() { return current != nullptr ? *current : empty(); }

bool loadQtTranslations(const std::string& code) {
  static QTranslator* translator = nullptr;
  if (translator != nullptr) {
    QCoreApplication::removeTranslator(translator);
    delete translator;
    translator = nullptr;
  }
  const QString language = QString::fromStdString(code).toLower();
  if (language.isEmpty() || language == QLatin1String("en")) return true;
  auto* loaded = new QTranslator;
  if (!loaded->load(QStringLiteral("qtbase_") + language, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete loaded;
    return false;
  }
  QCoreApplication::installTranslator(loaded);
  translator = loaded;
  return true;
}

QString uiText(int id, const QStringList& args) {
  MessageArgs values;
  values.reserve(static_cast<std::size_t>(args.size()));
  for (const QString& arg : args) values.push_back(arg.toStdString());
  return QString::fromStdString(languageTable().format(id, values));
}

QString ellipsoidText(const EllipsoidRecord& ellipsoid, bool fixedBySystem) {
  return uiText(fixedBySystem ? str::EllipsoidFixedBySystem : str::EllipsoidInUse,
                {fromFileText(ellipsoid.name), QString::fromStdString(EllipsoidFigures(ellipsoid))});
}

QString fromFileText(const std::string& bytes) { return QString::fromStdString(windows1252ToUtf8(bytes)); }

std::string toFileText(const QString& text) { return utf8ToWindows1252(text.toStdString()); }

}  // namespace pelmar::ui
