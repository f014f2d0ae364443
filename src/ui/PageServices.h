#pragma once

#include <QString>

class QTreeWidget;
#include <QStringList>

#include <QUrl>

#include <functional>

class QFileDialog;
class QGridLayout;
class QLineEdit;
class QPushButton;
class QWidget;

namespace pelmar::ui {

// The services every page uses: choosing files, the write-access check,
// opening a file in the user's editor and showing it in the built-in viewer.
namespace services {

// A file dialog for an input file, preset with `pattern` ("*.txt"); "" when
// cancelled. Every file dialog adds its pattern's suffix to a name typed
// without one, and starts in the folder of `current`, or when that is empty
// in the folder it was last left in (remembered under "Folder" + `key`).
QString chooseInputFile(QWidget* parent, const QString& filterText, const QString& title, const QString& current,
                        const char* key = nullptr, const QString& pattern = QStringLiteral("*.txt"));

// A file dialog for an output file, preset with `pattern` ("*.aus" unless
// the page says otherwise). The path is returned only when its directory
// passes the write-access check; "" otherwise.
QString chooseOutputFile(QWidget* parent, const QString& filterText, const QString& title, const QString& current,
                         const QString& pattern = QStringLiteral("*.aus"), const char* key = nullptr);

// How file dialogs are run (tests answer them; an empty one restores exec):
// true when the user accepted.
using FileDialogRunner = std::function<bool(QFileDialog& dialog)>;
void setFileDialogRunner(FileDialogRunner runner);

// The check before a job runs: message 390 with the directory when the user
// may not write there.
bool checkWriteAccess(QWidget* parent, const QString& outputPath);

// The check before an option dialog is shown: the input file can be opened
// for reading; otherwise message `messageId` with the path (error icon).
bool checkReadable(QWidget* parent, const QString& path, int messageId);

// Opens the file in the user's editor: `editor` is a program, or a program
// and its options ("kate -n"; a path to an existing program may hold blanks),
// and gets the file as its last argument. Without an editor the file is
// shown in Pelmar's own viewer; an editor that cannot be started (a Windows
// "notepad.exe" in a settings file from elsewhere, say) is reported with the
// command that was tried (2010), and the viewer shows the file instead.
void viewFile(QWidget* parent, const QString& editor, const QString& path);

// The program and arguments `editor` starts for `path`.
QStringList editorCommand(const QString& editor, const QString& path);

// Shows the file in the read-only viewer window.
void showFile(QWidget* parent, const QString& path);

// The View (the user's editor) and Show (the built-in viewer) buttons of a
// file row, each with the tooltip that tells them apart.
QPushButton* viewButton(QWidget* parent);
QPushButton* showButton(QWidget* parent);

// The file filter of an output row: the filter text (a language string)
// and the pattern the chooser starts with. `key` names the row's file dialog
// for its remembered folder.
struct OutputFilter {
  int filterId;
  QString pattern;
};

// The input and output rows of the batch pages: label, edit, Choose, View
// and Show in row `row` of `grid` (point files, "*.txt", unless an output
// row names its own filter). `editor` gives the configured editor when View
// is pressed. Returns the edit.
QLineEdit* addPointFileRow(QWidget* page, QGridLayout* grid, int row, int labelId, bool input,
                           std::function<QString()> editor, const OutputFilter& output = {0, QString()},
                           const char* key = nullptr);

// The value (Qt::UserRole) of a tree's current item, `none` without one;
// and selecting the item of a value (false when no item has it). The
// conversion and geodetic pages keep their codes there.
int currentTreeValue(const QTreeWidget* tree, int none);
bool selectTreeValue(QTreeWidget* tree, int value);

// How programs are started (tests replace it; an empty one restores the
// default): true when the program ran.
using Launcher = std::function<bool(const QString& program, const QStringList& arguments)>;
void setLauncher(Launcher launcher);

// Opens a link (a file, a mail address) with the desktop's program; when no
// program takes it, says so with the link that was tried (1901).
void openLink(QWidget* parent, const QUrl& url);
// How links are opened (tests replace it; an empty one restores the desktop's).
using LinkOpener = std::function<bool(const QUrl& url)>;
void setLinkOpener(LinkOpener opener);

}  // namespace services
}  // namespace pelmar::ui
