#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace pelmar::ui {

// A read-only window that shows a report or point file in a fixed-pitch
// font, so the columns of the layouts stand as written. Files the program
// writes are Windows-1252 (the degree sign is the byte 0xB0); a file that is
// valid UTF-8 is shown as such. Find (Ctrl+F, Enter or F3 for the next
// match) searches without regard to letter case and wraps at the end.
class FileViewer : public QDialog {
  Q_OBJECT

 public:
  explicit FileViewer(const QString& path, QWidget* parent = nullptr);
  bool loaded() const noexcept { return loaded_; }
  QString text() const;

  QLineEdit* findEdit() const noexcept { return find_; }
  QPlainTextEdit* view() const noexcept { return view_; }
  // The line under "Find": empty, or that the text was not found.
  QString findStatus() const;
  // Selects the next match of the find text after the cursor, from the top
  // when there is none below; false when the file holds none.
  bool findNext();

 private:
  QPlainTextEdit* view_ = nullptr;
  QLineEdit* find_ = nullptr;
  QPushButton* next_ = nullptr;
  QLabel* status_ = nullptr;
  bool loaded_ = false;
};

}  // namespace pelmar::ui
