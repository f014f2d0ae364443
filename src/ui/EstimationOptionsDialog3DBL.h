#pragma once

#include <QDialog>

#include "app/SettingsStore.h"
#include "estimation/EllipsoidalEstimation.h"
#include "settings/EllipsoidDatabase.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace pelmar::ui {

// Options of the estimation in ellipsoidal coordinates, section
// "HelmertTrafo3DBL": method, parameter groups and scale kind, the two
// ellipsoids, the a-priori standard deviations, the pre-translation with
// its prior information, and the output and storing switches. Loads the
// section when it opens and stores every key on OK; OK refuses a missing
// ellipsoid and a number that cannot serve.
class EstimationOptionsDialog3DBL : public QDialog {
  Q_OBJECT

 public:
  EstimationOptionsDialog3DBL(const SettingsStore& store, const EllipsoidList& ellipsoids, bool storingAvailable,
                              QWidget* parent = nullptr);

  const EstimationOptions3DBL& options() const noexcept { return options_; }
  // The chosen records; an empty record while "no ellipsoid" is chosen.
  EllipsoidRecord sourceEllipsoid() const;
  EllipsoidRecord targetEllipsoid() const;
  void accept() override;

  // The controls by the key they edit, for the tests: check boxes
  // ("Rotations", "Translations", "Scale", "Individual", "Vortrafo",
  // "Vorinfo", "WriteIdentical", "SaveParams", "SavePPInfo"), number edits
  // and their labels ("s0", "sPlanSrc", "sHeightSrc", "SPlanTarget",
  // "sHeight", "tx", "ty", "tz", "sTrans"), combo boxes ("EllipSrc",
  // "EllipTarget"). nullptr for any other key.
  QCheckBox* check(const char* key) const;
  QLineEdit* edit(const char* key) const;
  QLabel* label(const char* key) const;
  QComboBox* combo(const char* key) const;
  // Scale kind 1 (one factor) or 2 (plan and height factors).
  QRadioButton* scaleKindButton(int kind) const;
  // Method: 0 L1 norm, 1 least squares.
  QRadioButton* methodButton(int type) const;

 private:
  struct NumberField {
    const char* key;
    double EstimationOptions3DBL::*member;
    bool positive;  // a standard deviation: > 0, else any number within ±1e7 m
    QLabel* label;
    QLineEdit* edit;
  };

  QComboBox* ellipsoidCombo(int selected);
  void applyEnabling();
  const NumberField* field(const char* key) const;
  EllipsoidRecord recordAt(int comboIndex) const;

  SettingsStore store_;
  EllipsoidList ellipsoids_;
  bool storingAvailable_;
  EstimationOptions3DBL options_;

  QRadioButton* l1_ = nullptr;
  QRadioButton* leastSquares_ = nullptr;
  QCheckBox* rotations_ = nullptr;
  QCheckBox* translations_ = nullptr;
  QCheckBox* scale_ = nullptr;
  QRadioButton* oneScale_ = nullptr;
  QRadioButton* twoScales_ = nullptr;
  QComboBox* sourceCombo_ = nullptr;
  QComboBox* targetCombo_ = nullptr;
  QCheckBox* individual_ = nullptr;
  QCheckBox* preTranslate_ = nullptr;
  QCheckBox* prior_ = nullptr;
  QCheckBox* writeIdentical_ = nullptr;
  QCheckBox* saveParams_ = nullptr;
  QCheckBox* savePointInfo_ = nullptr;
  std::vector<NumberField> fields_;
};

}  // namespace pelmar::ui
