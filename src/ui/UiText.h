#pragma once

#include <QString>
#include <QStringList>

#include <string>

namespace pelmar {
class LanguageTable;
struct EllipsoidRecord;
}

namespace pelmar::ui {

// The language table every widget takes its texts from; set once at start-up.
void setLanguageTable(const LanguageTable* table);
const LanguageTable& languageTable();

// Qt's own texts (file dialogs, the context menus of edits) in the language
// of `code` ("DE"): Qt's translations (qtbase_de.qm) from the system's Qt
// translations folder. English needs none. False when the file is missing:
// those texts stay English.
bool loadQtTranslations(const std::string& code);

// Numbered string `id`, its placeholders filled with `args`.
QString uiText(int id, const QStringList& args = {});

// The line that names the ellipsoid a run computes on: its name, a and 1/f,
// and whether the conversion's system fixes it whatever the settings say.
QString ellipsoidText(const EllipsoidRecord& ellipsoid, bool fixedBySystem = false);

// Windows-1252 bytes (names and texts as files hold them) to a QString and back.
QString fromFileText(const std::string& bytes);
std::string toFileText(const QString& text);

}  // namespace pelmar::ui
