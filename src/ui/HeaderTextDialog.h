#pragma once

#include <QDialog>

class QPlainTextEdit;

namespace pelmar::ui {

// Edits the report header text in a fixed-pitch font, as it will stand in
// the reports.
class HeaderTextDialog : public QDialog {
  Q_OBJECT

 public:
  HeaderTextDialog(const QString& text, QWidget* parent = nullptr);
  QString text() const;
  QPlainTextEdit* editor() const noexcept { return edit_; }

 private:
  QPlainTextEdit* edit_ = nullptr;
};

}  // namespace pelmar::ui
