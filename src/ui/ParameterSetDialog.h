#pragma once

#include <QDialog>
#include <QString>

#include <array>
#include <vector>

#include "app/StringIds.h"
#include "settings/EllipsoidDatabase.h"
#include "stored/TransformationSet.h"

class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace pelmar::ui {

class DmsEdit;

// Edits a copy of one parameter set: type, name, description, the three
// rotations (degrees, minutes, seconds), the scale (the factor m and
// m − 1, in two edits of which the radio buttons enable one), the translations, the auxiliary values of types 0 and 1, and the
// ellipsoids and pre-translation of type 2. OK refuses an empty name, a name
// another stored set has (compared without leading and trailing blanks), a
// type-2 set without both ellipsoids and a field that holds no number.
class ParameterSetDialog : public QDialog {
  Q_OBJECT

 public:
  // `stored` are the sets the file holds now, for the name check; an empty
  // list checks nothing. `captionId` is the window title's string.
  ParameterSetDialog(const TransformationSet& set, const EllipsoidList& ellipsoids,
                     const std::vector<TransformationSet>& stored = {}, int captionId = str::SetDialogTitle,
                     QWidget* parent = nullptr);

  // The edited set; after OK it holds what the user entered.
  const TransformationSet& set() const noexcept { return set_; }
  void accept() override;

  // The controls, for the tests.
  QComboBox* typeCombo() const noexcept { return type_; }
  QLineEdit* nameEdit() const noexcept { return name_; }
  QLineEdit* descriptionEdit() const noexcept { return description_; }
  DmsEdit* rotationEdit(int index) const { return rotations_.at(static_cast<std::size_t>(index)); }
  QLineEdit* translationEdit(int index) const { return translations_.at(static_cast<std::size_t>(index)).edit; }
  QLineEdit* auxiliaryEdit(int index) const { return auxiliary_.at(static_cast<std::size_t>(index)).edit; }
  QLineEdit* preTranslationEdit(int index) const { return preTranslation_.at(static_cast<std::size_t>(index)).edit; }
  // The edit the radio buttons chose (m or m − 1), and both.
  QLineEdit* scaleEdit() const;
  QLineEdit* factorEdit() const noexcept { return factor_; }
  QLineEdit* correctionEdit() const noexcept { return correction_; }
  QRadioButton* scaleFactorButton() const noexcept { return asFactor_; }
  QRadioButton* scaleCorrectionButton() const noexcept { return asCorrection_; }
  QComboBox* sourceEllipsoidCombo() const noexcept { return sourceEllipsoid_; }
  QComboBox* targetEllipsoidCombo() const noexcept { return targetEllipsoid_; }

 private:
  struct NumberField {
    QLabel* label = nullptr;
    QLineEdit* edit = nullptr;
    double* value = nullptr;  // in set_
    QString shown;            // the text first shown: unchanged, it keeps the exact value
  };

  NumberField addNumber(QGridLayout* grid, int row, int column, const QString& label, double* value);
  QComboBox* ellipsoidCombo(const EllipsoidRecord& selected, EllipsoidList& choices);
  void applyEnabling();
  void showScale();
  void showPpm();
  // The scale from the edit in use (or the one named); false when it holds no number.
  bool takeScale();
  bool takeScale(bool fromFactor);
  bool takeRotations(std::array<double, 3>& degrees);
  bool checkName(QString& chosen);

  TransformationSet set_;
  EllipsoidList ellipsoids_;
  EllipsoidList sourceChoices_;  // what each entry of the source list stands for (the empty last one excepted)
  EllipsoidList targetChoices_;
  std::vector<QString> storedNames_;  // trimmed
  QString originalName_;
  QString originalDescription_;

  QComboBox* type_ = nullptr;
  QLineEdit* name_ = nullptr;
  QLineEdit* description_ = nullptr;
  std::array<DmsEdit*, 3> rotations_{};
  std::array<QLabel*, 3> rotationLabels_{};
  std::array<std::array<QString, 3>, 3> rotationTexts_;  // as shown when the dialog opened
  std::array<NumberField, 3> translations_{};
  std::array<NumberField, 6> auxiliary_{};
  std::array<NumberField, 3> preTranslation_{};
  QLabel* scaleLabel_ = nullptr;
  QLabel* scalePpm_ = nullptr;  // m − 1 in ppm, as the edit reads
  QLineEdit* factor_ = nullptr;      // m
  QLineEdit* correction_ = nullptr;  // m − 1
  QRadioButton* asFactor_ = nullptr;
  QRadioButton* asCorrection_ = nullptr;
  // What showScale() wrote: an unchanged text keeps the exact value.
  QString factorShown_, correctionShown_;
  QGroupBox* auxiliaryGroup_ = nullptr;
  QGroupBox* ellipsoidalGroup_ = nullptr;
  QComboBox* sourceEllipsoid_ = nullptr;
  QComboBox* targetEllipsoid_ = nullptr;
};

}  // namespace pelmar::ui
