#pragma once

#include <QDialog>
#include <QWidget>

#include "app/SettingsStore.h"
#include "conversion/ProjectionOptions.h"

class QButtonGroup;
class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QRadioButton;

// The option dialogs of the conversions. Each edits a copy of its options,
// loads its settings section when it opens (as the rules for that mode say)
// and stores it on OK; Cancel leaves everything as it was.
namespace pelmar::ui {

// Degrees, minutes and seconds in three edits.
class DmsEdit : public QWidget {
  Q_OBJECT

 public:
  explicit DmsEdit(QWidget* parent = nullptr);
  void setValue(const DmsValue& value);
  DmsValue value() const;
  void setReadOnly(bool readOnly);
  QLineEdit* degreesEdit() const noexcept { return degrees_; }
  QLineEdit* minutesEdit() const noexcept { return minutes_; }
  QLineEdit* secondsEdit() const noexcept { return seconds_; }

 private:
  QLineEdit* degrees_;
  QLineEdit* minutes_;
  QLineEdit* seconds_;
};

// Central meridian of Gauss–Krüger and UTM ("L0Settings").
class CentralMeridianDialog : public QDialog {
  Q_OBJECT

 public:
  CentralMeridianDialog(const SettingsStore& store, const CentralMeridianOptions& options, QWidget* parent = nullptr);
  const CentralMeridianOptions& options() const noexcept { return options_; }
  QRadioButton* automaticButton() const noexcept { return automatic_; }
  QDoubleSpinBox* meridianEdit() const noexcept { return meridian_; }
  void accept() override;

 private:
  void applyEnabling();
  SettingsStore store_;
  CentralMeridianOptions options_;
  QRadioButton* automatic_;
  QRadioButton* manual_;
  QDoubleSpinBox* meridian_;
  QLabel* meridianLabel_;
};

// Austrian central meridian M28 / M31 / M34 ("L0AustriaSettings").
class AustrianMeridianDialog : public QDialog {
  Q_OBJECT

 public:
  AustrianMeridianDialog(const SettingsStore& store, const AustrianMeridianOptions& options,
                         QWidget* parent = nullptr);
  const AustrianMeridianOptions& options() const noexcept { return options_; }
  QRadioButton* meridianButton(int index) const;
  void accept() override;

 private:
  void applyEnabling();
  SettingsStore store_;
  AustrianMeridianOptions options_;
  QRadioButton* automatic_;
  QRadioButton* manual_;
  QButtonGroup* meridians_;
};

// Mercator central meridian ("MercatorSettings").
class MercatorDialog : public QDialog {
  Q_OBJECT

 public:
  MercatorDialog(const SettingsStore& store, const MercatorOptions& options, QWidget* parent = nullptr);
  const MercatorOptions& options() const noexcept { return options_; }
  void accept() override;

 private:
  SettingsStore store_;
  MercatorOptions options_;
  QDoubleSpinBox* meridian_;
};

// Lambert conformal conic ("LambertSettings"). Case 0 edits the user's
// values; cases 1–3 show a national system's constants read-only, with the
// latitude of origin, and store nothing: the user's own values stay.
class LambertDialog : public QDialog {
  Q_OBJECT

 public:
  LambertDialog(const SettingsStore& store, const LambertOptions& options, int lambertCase, QWidget* parent = nullptr);
  const LambertOptions& options() const noexcept { return options_; }
  bool isPreset() const noexcept { return preset_; }
  DmsEdit* northEdit() const noexcept { return north_; }
  DmsEdit* meridianEdit() const noexcept { return meridian_; }
  QLabel* southLabel() const noexcept { return southLabel_; }
  QRadioButton* twoParallelsButton() const noexcept { return two_; }
  void accept() override;

 private:
  void applyVersion();
  SettingsStore store_;
  LambertOptions options_;
  bool preset_;
  QRadioButton* one_;
  QRadioButton* two_;
  QLabel* northLabel_;
  QLabel* southLabel_;
  DmsEdit* north_;
  DmsEdit* south_;
  DmsEdit* meridian_;
  DmsEdit* origin_;
  QLineEdit* falseEast_;
  QLineEdit* falseNorth_;
};

// Cassini–Soldner ("SoldnerSettings"). The ordinary mode loads the section
// each time it opens; the Baden mode shows the Baden origin (meridian east of
// Ferro), editable for this run, offers the Greenwich switch, and stores
// nothing, so that the ordinary values stay.
class SoldnerDialog : public QDialog {
  Q_OBJECT

 public:
  SoldnerDialog(const SettingsStore& store, const SoldnerOptions& options, bool baden, bool greenwich,
                QWidget* parent = nullptr);
  const SoldnerOptions& options() const noexcept { return options_; }
  bool greenwich() const noexcept { return greenwichValue_; }
  QCheckBox* greenwichCheck() const noexcept { return greenwich_; }
  DmsEdit* originEdit() const noexcept { return origin_; }
  void accept() override;

 private:
  SettingsStore store_;
  SoldnerOptions options_;
  bool baden_;
  bool greenwichValue_;
  DmsEdit* origin_;
  DmsEdit* meridian_;
  QLineEdit* falseEast_;
  QLineEdit* falseNorth_;
  QCheckBox* greenwich_;
};

}  // namespace pelmar::ui
