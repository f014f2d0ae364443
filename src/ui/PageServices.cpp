#include "ui/PageServices.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QProcess>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <fstream>

#include "io/FileAccess.h"
#include "app/StringIds.h"
#include "ui/FileViewer.h"
#include "ui/MessageBoxes.h"
#include "ui/SessionState.h"
#include "ui/UiText.h"
#include "settings/GeneralSettings.h"

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

int currentTreeValue(const QTreeWidget* tree, int none) {
  const QTreeWidgetItem* item = tree->currentItem();
  return item != nullptr ? item->data(0, Qt::UserRole).toInt() : none;
}

bool selectTreeValue(QTreeWidget* tree, int value) {
  for (QTreeWidgetItemIterator it(tree); *it; ++it) {
    if ((*it)->data(0, Qt::UserRole).toInt() == value) {
      tree->setCurrentItem(*it);
      return true;
    }
  }
  return false;
}

namespace {
LinkOpener& customLinkOpener() {
  static LinkOpener instance;
  return instance;
}
}  // namespace

void setLinkOpener(LinkOpener opener) { customLinkOpener() = std::move(opener); }

void openLink(QWidget* parent, const QUrl& url) {
  const bool opened = customLinkOpener() ? customLinkOpener()(url) : QDesktopServices::openUrl(url);
  if (!opened) {
    showError(parent, uiText(str::LinkNotOpened, {url.isLocalFile() ? url.toLocalFile() : url.toString()}));
  }
}

namespace {

FileDialogRunner& customRunner() {
  static FileDialogRunner instance;
  return instance;
}

// "*.aus" gives "aus"; a pattern of several (or none) gives no suffix.
QString suffixOf(const QString& pattern) {
  if (!pattern.startsWith(QLatin1String("*.")) || pattern.contains(' ')) return {};
  return pattern.mid(2);
}

QString runFileDialog(QWidget* parent, const QString& title, const QString& current, const QString& filter,
                      const QString& pattern, bool save, const char* key) {
  const QByteArray folderKey = QByteArray("Folder") + (key != nullptr ? key : "");
  QString start = current;
  if (start.isEmpty() && key != nullptr) start = sessionText(folderKey.constData()).value_or(QString());
  QFileDialog dialog(parent, title, start, filter);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // An existing output is replaced by every job as a matter of course.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, save);
  dialog.setDefaultSuffix(suffixOf(pattern));
  const bool accepted = customRunner() ? customRunner()(dialog) : dialog.exec() == QDialog::Accepted;
  const QString path = accepted ? dialog.selectedFiles().value(0) : QString();
  if (!path.isEmpty() && key != nullptr) setSessionText(folderKey.constData(), QFileInfo(path).absolutePath());
  return path;
}

}  // namespace

void setFileDialogRunner(FileDialogRunner runner) { customRunner() = std::move(runner); }

QString chooseInputFile(QWidget* parent, const QString& filterText, const QString& title, const QString& current,
                        const char* key, const QString& pattern) {
  return runFileDialog(parent, title, current, filters(filterText, pattern), pattern, false, key);
}

QString chooseOutputFile(QWidget* parent, const QString& filterText, const QString& title, const QString& current,
                         const QString& pattern, const char* key) {
  const QString path = runFileDialog(parent, title, current, filters(filterText, pattern), pattern, true, key);
  if (path.isEmpty() || !checkWriteAccess(parent, path)) return {};
  return path;
}

bool checkWriteAccess(QWidget* parent, const QString& outputPath) {
  const std::string path = outputPath.toStdString();
  const int problem = OutputFolderProblem(path);
  if (problem == 0) return true;
  showError(parent, uiText(problem, {QString::fromStdString(outputDirectory(path))}));
  return false;
}

bool checkReadable(QWidget* parent, const QString& path, int messageId) {
  if (std::ifstream probe(path.toStdString(), std::ios::binary); probe) return true;
  showError(parent, uiText(messageId, {path}));
  return false;
}

QStringList editorCommand(const QString& editor, const QString& path) {
  const QString trimmed = editor.trimmed();
  // A program chosen with Choose is a path, perhaps with blanks in it.
  QStringList command = QFileInfo(trimmed).isFile() ? QStringList{trimmed} : QProcess::splitCommand(trimmed);
  command << path;
  return command;
}

void viewFile(QWidget* parent, const QString& editor, const QString& path) {
  if (!editor.trimmed().isEmpty()) {
    QStringList command = editorCommand(editor, path);
    const QString program = command.takeFirst();
    if (launch(program, command)) return;
    // The desktop's default opener missing (a minimal system) is nobody's
    // slip: the built-in viewer opens without an error box first. A command
    // the user chose and that fails is told.
    if (editor.trimmed() == QLatin1String(GeneralSettings::kDefaultEditor)) return showFile(parent, path);
    QStringList shown{program};
    for (const QString& argument : command) {
      shown << (argument.contains(' ') ? '"' + argument + '"' : argument);
    }
    showError(parent, uiText(str::EditorFailedCommand, {shown.join(' ')}));
  }
  showFile(parent, path);
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

QPushButton* viewButton(QWidget* parent) {
  auto* button = new QPushButton(uiText(str::ButtonView), parent);
  button->setToolTip(uiText(str::TipView));
  return button;
}

QPushButton* showButton(QWidget* parent) {
  auto* button = new QPushButton(uiText(str::ButtonShow), parent);
  button->setToolTip(uiText(str::TipShow));
  return button;
}

QLineEdit* addPointFileRow(QWidget* page, QGridLayout* grid, int row, int labelId, bool input,
                           std::function<QString()> editor, const OutputFilter& output, const char* key) {
  const int filterId = output.filterId != 0 ? output.filterId : static_cast<int>(str::FilterPointFiles);
  const QString pattern = output.pattern.isEmpty() ? QStringLiteral("*.txt") : output.pattern;
  auto* label = new QLabel(uiText(labelId), page);
  auto* edit = new QLineEdit(page);
  label->setBuddy(edit);
  auto* choose = new QPushButton(uiText(str::ButtonChoose), page);
  auto* view = viewButton(page);
  auto* show = showButton(page);
  grid->addWidget(label, row, 0);
  grid->addWidget(edit, row, 1);
  grid->addWidget(choose, row, 2);
  grid->addWidget(view, row, 3);
  grid->addWidget(show, row, 4);
  QObject::connect(choose, &QPushButton::clicked, page, [=] {
    const QString path =
        input ? chooseInputFile(page, uiText(str::FilterInputFiles), uiText(str::TitleChooseInputFile), edit->text(),
                                key)
              : chooseOutputFile(page, uiText(filterId), uiText(str::TitleChooseOutputFile), edit->text(), pattern,
                                 key);
    if (!path.isEmpty()) edit->setText(path);
  });
  QObject::connect(view, &QPushButton::clicked, page, [=] {
    if (!edit->text().isEmpty()) viewFile(page, editor(), edit->text());
  });
  QObject::connect(show, &QPushButton::clicked, page, [=] {
    if (!edit->text().isEmpty()) showFile(page, edit->text());
  });
  return edit;
}

}  // namespace pelmar::ui::services
