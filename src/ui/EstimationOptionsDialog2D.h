#pragma once

#include <QDialog>

#include "app/SettingsStore.h"
#include "estimation/EstimationJob.h"

class QCheckBox;
class QRadioButton;

namespace pelmar::ui {

// Options of the plane estimation: method, centring, identical points in the
// output file. Loads section "SoldnerSettings" when it opens and stores it on OK.
class EstimationOptionsDialog2D : public QDialog {
  Q_OBJECT

 public:
  EstimationOptionsDialog2D(const SettingsStore& store, QWidget* parent = nullptr);
  const EstimationOptions2D& options() const noexcept { return options_; }
  void accept() override;

  QRadioButton* l1Button() const noexcept { return l1_; }
  QRadioButton* leastSquaresButton() const noexcept { return leastSquares_; }
  QCheckBox* centerCheck() const noexcept { return center_; }
  QCheckBox* writeIdenticalCheck() const noexcept { return writeIdentical_; }

 private:
  SettingsStore store_;
  EstimationOptions2D options_;
  QRadioButton* l1_ = nullptr;
  QRadioButton* leastSquares_ = nullptr;
  QCheckBox* center_ = nullptr;
  QCheckBox* writeIdentical_ = nullptr;
};

}  // namespace pelmar::ui
