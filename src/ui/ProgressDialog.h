#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace pelmar::ui {

// The two-line window of the iterative estimations: the first line says that
// the computation runs, the second which pass it is in. Setting a line
// repaints the window at once, while the job runs on the GUI thread. Cancel
// (or Escape) asks the job to stop; the window stays until the job has.
class ProgressDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ProgressDialog(QWidget* parent = nullptr);
  void setLines(const QString& first, const QString& second);
  QString firstLine() const;
  QString secondLine() const;
  QPushButton* cancelButton() const noexcept { return cancel_; }
  bool wasCancelled() const noexcept { return cancelled_; }

  // Escape cancels the job instead of hiding the window.
  void reject() override;

 signals:
  void cancelRequested();

 private:
  QLabel* first_ = nullptr;
  QLabel* second_ = nullptr;
  QPushButton* cancel_ = nullptr;
  bool cancelled_ = false;
};

}  // namespace pelmar::ui
