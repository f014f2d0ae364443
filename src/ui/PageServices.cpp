#include "ui/PageServices.h"

#include <QFileDialog>
#include <QProcess>

#include "app/FileAccess.h"
#include "app/StringIds.h"
#include "settings/GeneralSettings.h"
#include "ui/FileViewer.h"
#include "ui/MessageBoxes.h"
#include "ui/UiText.h"

namespace pelmar::ui::services {

namespace {

Launcher& customLauncher() {
  static Launcher instance;
  return instance;
}

bool launch(const QString& program, const QStringList& arguments) {
  if (customLauncher()) return customLauncher()(program, arguments);
  return !program.isEmpty() && QProcess::startDetached(program, arguments);
}

QString filters(const QString& filterText, const QString& pattern) {
  return filterText + " (" + pattern + ");;" + uiText(str::FilterAllFiles) + " (*)";
}

}  // namespace

void setLauncher(Launcher l) { customLauncher() = std::move(l); }

QString chooseInputFile(QWidget* parent, const QString& filterText, const QString& title, const QString& current) {
  return QFileDialog::getOpenFileName(parent, title, current, filters(filterText, QStringLiteral("*.txt")));
}

QString chooseOutputFile(QWidget* parent, const QString& filterText, const QString& title, const QString& current,
                         const QString& pattern) {
  const QString path = QFileDialog::getSaveFileName(parent, title, current, filters(filterText, pattern), nullptr,
                                                    QFileDialog::DontConfirmOverwrite);
  if (path.isEmpty() || !checkWriteAccess(parent, path)) return {};
  return path;
}

bool checkWriteAccess(QWidget* parent, const QString& outputPath) {
  const std::string path = outputPath.toStdString();
  if (canWriteOutputDirectory(path)) return true;
  showError(parent, uiText(str::NoWriteAccess, {QString::fromStdString(outputDirectory(path))}));
  return false;
}

void viewFile(QWidget* parent, const QString& editor, const QString& path) {
  if (launch(editor, {path})) return;
  if (editor != QLatin1String(GeneralSettings::kDefaultEditor) &&
      launch(QString::fromLatin1(GeneralSettings::kDefaultEditor), {path})) {
    return;
  }
  showError(parent, uiText(str::EditorNotStarted));
}

void showFile(QWidget* parent, const QString& path) {
  auto* viewer = new FileViewer(path, parent);
  viewer->setAttribute(Qt::WA_DeleteOnClose);
  if (!viewer->loaded()) {
    showError(parent, uiText(str::FileCannotBeOpened, {path}));
    delete viewer;
    return;
  }
  viewer->show();
}

}  // namespace pelmar::ui::services
