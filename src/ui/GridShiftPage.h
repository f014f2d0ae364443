#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace pelmar::ui {

class SettingsPage;

// The NTv2 page: a grid file (ASCII or binary form), the input and output
// point files, the choice of sub-grid and the direction of the shift.
class GridShiftPage : public QWidget {
  Q_OBJECT

 public:
  explicit GridShiftPage(SettingsPage* settings, QWidget* parent = nullptr);

  QLineEdit* gridEdit() const noexcept { return grid_; }
  QLineEdit* inputEdit() const noexcept { return input_; }
  QLineEdit* outputEdit() const noexcept { return output_; }
  QCheckBox* finestCheck() const noexcept { return finest_; }
  QRadioButton* forwardButton() const noexcept { return forward_; }
  QRadioButton* inverseButton() const noexcept { return inverse_; }
  QPushButton* computeButton() const noexcept { return compute_; }
  // The grid's datums and extent, or why it cannot be read (empty without a grid).
  QLabel* gridInfo() const noexcept { return info_; }
  // Reads the grid named in the field and says what it covers.
  void describeGrid();

  // Shifts the points of the input file; false when it did not run or failed
  // (the message was given).
  bool compute();

  // What the page remembers between runs (see SessionState).
  void saveSession() const;
  void restoreSession();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void chooseGrid();

  SettingsPage* settings_;
  QLineEdit* grid_ = nullptr;
  QLabel* info_ = nullptr;
  QString described_;  // the grid path info_ speaks of
  QLineEdit* input_ = nullptr;
  QLineEdit* output_ = nullptr;
  QCheckBox* finest_ = nullptr;
  QRadioButton* forward_ = nullptr;
  QRadioButton* inverse_ = nullptr;
  QPushButton* compute_ = nullptr;
};

}  // namespace pelmar::ui
