#include "ui/FileViewer.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "io/FileReplace.h"
#include "app/StringIds.h"
#include "text/TextEncoding.h"
#include "ui/UiText.h"

namespace pelmar::ui {

FileViewer::FileViewer(const QString& path, QWidget* parent) : QDialog(parent) {
  setWindowTitle(uiText(str::FileViewerTitle, {QFileInfo(path).fileName()}));
  auto* layout = new QVBoxLayout(this);
  view_ = new QPlainTextEdit(this);
  view_->setReadOnly(true);
  view_->setLineWrapMode(QPlainTextEdit::NoWrap);
  view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  layout->addWidget(view_);
  std::string bytes;
  loaded_ = readFileContent(path.toStdString(), bytes);
  if (loaded_) {
    view_->setPlainText(QString::fromStdString(isValidUtf8(bytes) ? bytes : windows1252ToUtf8(bytes)));
  }
  resize(820, 600);
}

QString FileViewer::text() const { return view_->toPlainText(); }

}  // namespace pelmar::ui
