#include "ui/FileViewer.h"

#include "app/JobHost.h"
#include "ntv2/NTv2Grid.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTextCursor>
#include <QVBoxLayout>

#include "io/FileReplace.h"
#include "app/StringIds.h"
#include "text/TextEncoding.h"
#include "ui/UiText.h"

namespace pelmar::ui {

FileViewer::FileViewer(const QString& path, QWidget* parent) : QDialog(parent) {
  setWindowTitle(uiText(str::FileViewerTitle, {QFileInfo(path).fileName()}));
  setWindowFlag(Qt::WindowMinMaxButtonsHint);
  auto* layout = new QVBoxLayout(this);
  view_ = new QPlainTextEdit(this);
  view_->setReadOnly(true);
  view_->setLineWrapMode(QPlainTextEdit::NoWrap);
  view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  // The selection of a match stays visible while the focus is in Find.
  view_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  layout->addWidget(view_, 1);

  auto* findRow = new QHBoxLayout;
  auto* findLabel = new QLabel(uiText(str::ViewerFind), this);
  find_ = new QLineEdit(this);
  findLabel->setBuddy(find_);
  next_ = new QPushButton(uiText(str::ViewerFindNext), this);
  next_->setAutoDefault(false);
  status_ = new QLabel(this);
  findRow->addWidget(findLabel);
  findRow->addWidget(find_, 1);
  findRow->addWidget(next_);
  findRow->addWidget(status_, 1);
  layout->addLayout(findRow);
  connect(find_, &QLineEdit::returnPressed, this, &FileViewer::findNext);
  connect(next_, &QPushButton::clicked, this, &FileViewer::findNext);
  connect(find_, &QLineEdit::textChanged, status_, &QLabel::clear);
  auto* focusFind = new QShortcut(QKeySequence::Find, this);
  connect(focusFind, &QShortcut::activated, this, [this] {
    find_->setFocus();
    find_->selectAll();
  });
  auto* again = new QShortcut(QKeySequence::FindNext, this);
  connect(again, &QShortcut::activated, this, &FileViewer::findNext);

  std::string bytes;
  loaded_ = readFileContent(path.toStdString(), bytes);
  if (loaded_ && IsBinaryGrid(bytes)) {
    // A binary NTv2 grid: its header records as text, not its bytes.
    NTv2Grid grid;
    QuietHost host(languageTable());
    std::string shown;
    if (grid.Load(path.toStdString(), host) == 0) {
      shown = grid.HeaderText();
    } else {
      for (const std::string& line : host.said) shown += line + "\n";
    }
    view_->setPlainText(QString::fromStdString(shown));
  } else if (loaded_) {
    view_->setPlainText(QString::fromStdString(fileTextToUtf8(bytes)));
  }
  resize(820, 600);
}

QString FileViewer::text() const { return view_->toPlainText(); }

QString FileViewer::findStatus() const { return status_->text(); }

bool FileViewer::findNext() {
  const QString wanted = find_->text();
  status_->clear();
  if (wanted.isEmpty()) return false;
  if (view_->find(wanted)) return true;
  // Wrapped: from the top once more.
  const QTextCursor kept = view_->textCursor();
  view_->moveCursor(QTextCursor::Start);
  if (view_->find(wanted)) return true;
  view_->setTextCursor(kept);
  status_->setText(uiText(str::ViewerNotFound, {wanted}));
  return false;
}

}  // namespace pelmar::ui
