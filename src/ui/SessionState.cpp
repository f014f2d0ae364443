#include "ui/SessionState.h"

#include <QLineEdit>

namespace pelmar::ui {

namespace {
SettingsStore& store() {
  static SettingsStore instance;
  return instance;
}
SettingsStore& earlier() {
  static SettingsStore instance;
  return instance;
}

std::optional<QString> readFrom(const SettingsStore& from, const char* key) {
  if (from.file().empty() || !from.SectionExists(kSessionSection)) return std::nullopt;
  std::string value;
  if (!from.ReadString(key, value)) return std::nullopt;
  return QString::fromStdString(value);
}
}  // namespace

void setSessionStore(const SettingsStore& s, const SettingsStore& earlierStore) {
  store() = s;
  store().SetSection(kSessionSection);
  earlier() = earlierStore;
  earlier().SetSection(kSessionSection);
}

const SettingsStore& sessionStore() { return store(); }

bool sessionAvailable() { return !store().file().empty(); }

std::optional<QString> sessionText(const char* key) {
  if (!sessionAvailable()) return std::nullopt;
  if (store().KeyExists(key)) return readFrom(store(), key);
  return readFrom(earlier(), key);
}

void setSessionText(const char* key, const QString& value) {
  if (!sessionAvailable()) return;
  // An unchanged value costs no rewrite of the file; one read from an
  // earlier version's section is written, so that the session file holds
  // the whole session.
  if (store().KeyExists(key) && readFrom(store(), key).value_or(QString()) == value) return;
  store().WriteString(key, value.toStdString());
}

void saveFields(const SessionFields& fields) {
  for (const auto& [key, edit] : fields) setSessionText(key, edit->text().trimmed());
}

void restoreFields(const SessionFields& fields) {
  for (const auto& [key, edit] : fields) {
    if (const std::optional<QString> value = sessionText(key)) edit->setText(*value);
  }
}

}  // namespace pelmar::ui
