#pragma once

#include <QDialog>

class QLabel;

namespace pelmar::ui {

// The modeless two-line window of the iterative estimations: the first line
// says that the computation runs, the second which pass it is in. Setting a
// line repaints the window at once, while the job runs on the GUI thread.
class ProgressDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ProgressDialog(QWidget* parent = nullptr);
  void setLines(const QString& first, const QString& second);
  QString firstLine() const;
  QString secondLine() const;

 private:
  QLabel* first_ = nullptr;
  QLabel* second_ = nullptr;
};

}  // namespace pelmar::ui
