#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace pelmar::ui {

// The one progress window of a job, from its start to its end: the phase
// the job is in (reading, adjusting, testing, …), a line of detail (the
// pass, the points done), a bar in per mille when the phase has a range (a
// busy bar when it has none), and Cancel. The job runs on a worker thread; this window lives on the
// interface thread, which keeps repainting it. Cancel (or Escape) asks the
// job to stop; the window stays until the job has.
class ProgressDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ProgressDialog(QWidget* parent = nullptr);
  void setLines(const QString& first, const QString& second);
  // Per mille of the phase; below 0 for a phase without a range.
  void setPermille(int permille);
  QString firstLine() const;
  QString secondLine() const;
  QPushButton* cancelButton() const noexcept { return cancel_; }
  QProgressBar* bar() const noexcept { return bar_; }
  bool wasCancelled() const noexcept { return cancelled_; }

  // Escape cancels the job instead of hiding the window.
  void reject() override;

 signals:
  void cancelRequested();

 private:
  QLabel* first_ = nullptr;
  QLabel* second_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QPushButton* cancel_ = nullptr;
  bool cancelled_ = false;
};

}  // namespace pelmar::ui
