#pragma once

#include <QDialog>

class QPlainTextEdit;

namespace pelmar::ui {

// A read-only window that shows a text file in a fixed-pitch font. Files the
// program writes are Windows-1252; a file that is valid UTF-8 is shown as such.
class FileViewer : public QDialog {
  Q_OBJECT

 public:
  explicit FileViewer(const QString& path, QWidget* parent = nullptr);
  bool loaded() const noexcept { return loaded_; }
  QString text() const;

 private:
  QPlainTextEdit* view_ = nullptr;
  bool loaded_ = false;
};

}  // namespace pelmar::ui
