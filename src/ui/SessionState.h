#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <vector>

#include "app/SettingsStore.h"

class QLineEdit;

namespace pelmar::ui {

// What the desktop program remembers from one run to the next: per page the
// last paths and the chosen conversion or computation, the window's size and
// position, and the last folder of each file dialog. It lives in a file of
// its own beside the settings file (sessionPathFor), so that a start and a
// close never touch the settings the jobs and the command line read; the
// command line never reads it.
inline constexpr const char* kSessionSection = "DesktopSession";

// The session file's store, and the settings file whose own section of that
// name earlier versions kept the session in: a key the session file lacks is
// read from there, and nothing is written there. A store without a file (no
// settings folder) reads nothing and writes nothing.
void setSessionStore(const SettingsStore& store, const SettingsStore& earlierStore = {});
const SettingsStore& sessionStore();
bool sessionAvailable();

// One value of the section; nullopt when the key is not there.
std::optional<QString> sessionText(const char* key);
void setSessionText(const char* key, const QString& value);

// Path fields of a page under their keys.
using SessionFields = std::vector<std::pair<const char*, QLineEdit*>>;
void saveFields(const SessionFields& fields);
void restoreFields(const SessionFields& fields);

}  // namespace pelmar::ui
