#pragma once

#include <QDialog>

#include "app/SettingsStore.h"
#include "estimation/SpatialEstimation.h"

class QCheckBox;
class QRadioButton;

namespace pelmar::ui {

// Options of the spatial estimations, section "HelmertTrafo3D": method,
// parameter groups, centring, output and storing switches. "SaveParams" and
// "SavePPInfo" are shown disabled while sets cannot be stored yet. The method
// shown and saved is that of `model`'s entry ("Type" or "TypeLinearised").
class EstimationOptionsDialog3D : public QDialog {
  Q_OBJECT

 public:
  EstimationOptionsDialog3D(const SettingsStore& store, bool storingAvailable,
                            SpatialModel model = SpatialModel::Rigorous, QWidget* parent = nullptr);
  const EstimationOptions3D& options() const noexcept { return options_; }
  void accept() override;

  QCheckBox* check(const char* key) const;

 private:
  SettingsStore store_;
  EstimationOptions3D options_;
  SpatialModel model_;
  QRadioButton* l1_ = nullptr;
  QRadioButton* leastSquares_ = nullptr;
  QCheckBox* rotations_ = nullptr;
  QCheckBox* scale_ = nullptr;
  QCheckBox* translations_ = nullptr;
  QCheckBox* center_ = nullptr;
  QCheckBox* writeIdentical_ = nullptr;
  QCheckBox* saveParams_ = nullptr;
  QCheckBox* savePointInfo_ = nullptr;
};

}  // namespace pelmar::ui
