#include "ui/ProjectionDialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QDoubleValidator>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <charconv>

#include "app/StringIds.h"
#include "text/LineScanner.h"
#include "ui/DialogParts.h"
#include "ui/UiText.h"

namespace pelmar::ui {

namespace {

QString numberText(double value) {
  char text[40];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return QString::fromLatin1(text, static_cast<qsizetype>(end - text));
}

double numberOf(const QLineEdit* edit) {
  double value = 0.0;
  parseRealPrefix(trimLeft(edit->text().toStdString()), value);
  return value;
}

int integerOf(const QLineEdit* edit) { return settingsIntValue(edit->text().toStdString()); }

QLineEdit* numberEdit(QWidget* parent, double value) {
  auto* edit = new QLineEdit(numberText(value), parent);
  auto* validator = new QDoubleValidator(edit);
  validator->setLocale(QLocale::c());
  validator->setNotation(QDoubleValidator::StandardNotation);
  edit->setValidator(validator);
  edit->setMinimumWidth(140);
  return edit;
}

QDoubleSpinBox* meridianSpin(QWidget* parent, double value) {
  auto* spin = new QDoubleSpinBox(parent);
  spin->setLocale(QLocale::c());
  spin->setRange(-180.0, 180.0);
  spin->setDecimals(10);
  spin->setSingleStep(1.0);
  spin->setValue(value);
  spin->setSuffix(QStringLiteral(" °"));
  spin->setMinimumWidth(180);
  return spin;
}

void addButtons(QDialog* dialog, QVBoxLayout* layout) {
  addOkCancel(dialog, layout);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace

DmsEdit::DmsEdit(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  degrees_ = new QLineEdit(this);
  minutes_ = new QLineEdit(this);
  seconds_ = new QLineEdit(this);
  degrees_->setValidator(new QIntValidator(-360, 360, degrees_));
  minutes_->setValidator(new QIntValidator(-60, 60, minutes_));
  auto* validator = new QDoubleValidator(seconds_);
  validator->setLocale(QLocale::c());
  validator->setNotation(QDoubleValidator::StandardNotation);
  seconds_->setValidator(validator);
  degrees_->setFixedWidth(56);
  minutes_->setFixedWidth(44);
  seconds_->setFixedWidth(110);
  layout->addWidget(degrees_);
  layout->addWidget(new QLabel(uiText(str::UnitDegrees), this));
  layout->addWidget(minutes_);
  layout->addWidget(new QLabel(uiText(str::UnitMinutes), this));
  layout->addWidget(seconds_);
  layout->addWidget(new QLabel(uiText(str::UnitSeconds), this));
  layout->addStretch(1);
}

void DmsEdit::setValue(const DmsValue& value) {
  degrees_->setText(QString::number(value.degrees));
  minutes_->setText(QString::number(value.minutes));
  seconds_->setText(numberText(value.seconds));
}

DmsValue DmsEdit::value() const { return {integerOf(degrees_), integerOf(minutes_), numberOf(seconds_)}; }

void DmsEdit::setReadOnly(bool readOnly) {
  for (QLineEdit* edit : {degrees_, minutes_, seconds_}) edit->setReadOnly(readOnly);
}

// --- Central meridian ---------------------------------------------------------

CentralMeridianDialog::CentralMeridianDialog(const SettingsStore& store, const CentralMeridianOptions& options,
                                             QWidget* parent)
    : QDialog(parent), store_(store), options_(options) {
  setWindowTitle(uiText(str::CentralMeridianTitle));
  options_.load(store_);
  auto* layout = new QVBoxLayout(this);
  automatic_ = new QRadioButton(uiText(str::OptionAutomatic), this);
  manual_ = new QRadioButton(uiText(str::OptionManual), this);
  (options_.L0Auto != 0 ? automatic_ : manual_)->setChecked(true);
  layout->addWidget(automatic_);
  layout->addWidget(manual_);
  auto* form = new QFormLayout;
  meridian_ = meridianSpin(this, options_.L0);
  meridianLabel_ = new QLabel(uiText(str::LabelCentralMeridian), this);
  form->addRow(meridianLabel_, meridian_);
  layout->addLayout(form);
  addButtons(this, layout);
  connect(automatic_, &QRadioButton::toggled, this, &CentralMeridianDialog::applyEnabling);
  applyEnabling();
}

void CentralMeridianDialog::applyEnabling() {
  meridian_->setEnabled(!automatic_->isChecked());
  meridianLabel_->setEnabled(!automatic_->isChecked());
}

void CentralMeridianDialog::accept() {
  options_.L0 = meridian_->value();
  options_.L0Auto = automatic_->isChecked() ? 1 : 0;
  options_.save(store_);
  QDialog::accept();
}

// --- Austrian central meridian --------------------------------------------------

AustrianMeridianDialog::AustrianMeridianDialog(const SettingsStore& store, const AustrianMeridianOptions& options,
                                               QWidget* parent)
    : QDialog(parent), store_(store), options_(options) {
  setWindowTitle(uiText(str::AustrianMeridianTitle));
  options_.load(store_);
  auto* layout = new QVBoxLayout(this);
  automatic_ = new QRadioButton(uiText(str::OptionAutomatic), this);
  manual_ = new QRadioButton(uiText(str::OptionManual), this);
  auto* mode = new QButtonGroup(this);
  mode->addButton(automatic_);
  mode->addButton(manual_);
  (options_.L0AustriaAuto != 0 ? automatic_ : manual_)->setChecked(true);
  layout->addWidget(automatic_);
  layout->addWidget(manual_);
  meridians_ = new QButtonGroup(this);
  meridians_->setExclusive(false);  // a stored value that is none of them checks none
  const char* names[3] = {"M28 (10° 20′)", "M31 (13° 20′)", "M34 (16° 20′)"};
  auto* row = new QHBoxLayout;
  row->addSpacing(24);
  for (int i = 0; i < 3; ++i) {
    auto* button = new QRadioButton(QString::fromUtf8(names[i]), this);
    button->setAutoExclusive(false);
    meridians_->addButton(button, i);
    button->setChecked(options_.meridianIndex() == i);
    row->addWidget(button);
  }
  layout->addLayout(row);
  connect(meridians_, &QButtonGroup::idClicked, this, [this](int id) {
    options_.L0Austria = AustrianMeridianOptions::kMeridians[id];
    for (int i = 0; i < 3; ++i) meridians_->button(i)->setChecked(i == id);
  });
  connect(automatic_, &QRadioButton::toggled, this, &AustrianMeridianDialog::applyEnabling);
  addButtons(this, layout);
  applyEnabling();
}

QRadioButton* AustrianMeridianDialog::meridianButton(int index) const {
  return qobject_cast<QRadioButton*>(meridians_->button(index));
}

void AustrianMeridianDialog::applyEnabling() {
  for (QAbstractButton* button : meridians_->buttons()) button->setEnabled(!automatic_->isChecked());
}

void AustrianMeridianDialog::accept() {
  options_.L0AustriaAuto = automatic_->isChecked() ? 1 : 0;
  options_.save(store_);
  QDialog::accept();
}

// --- Mercator -------------------------------------------------------------------

MercatorDialog::MercatorDialog(const SettingsStore& store, const MercatorOptions& options, QWidget* parent)
    : QDialog(parent), store_(store), options_(options) {
  setWindowTitle(uiText(str::MercatorTitle));
  options_.load(store_);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  meridian_ = meridianSpin(this, options_.L0);
  form->addRow(uiText(str::LabelCentralMeridian), meridian_);
  layout->addLayout(form);
  addButtons(this, layout);
}

void MercatorDialog::accept() {
  options_.L0 = meridian_->value();
  options_.save(store_);
  QDialog::accept();
}

// --- Lambert ----------------------------------------------------------------------

LambertDialog::LambertDialog(const SettingsStore& store, const LambertOptions& options, int lambertCase,
                             QWidget* parent)
    : QDialog(parent), store_(store), options_(options), preset_(lambertCase != 0) {
  setWindowTitle(uiText(str::LambertTitle));
  if (preset_) {
    options_ = LambertOptions::preset(lambertCase);
  } else {
    options_.load(store_);
  }
  auto* layout = new QVBoxLayout(this);
  one_ = new QRadioButton(uiText(str::OptionOneParallel), this);
  two_ = new QRadioButton(uiText(str::OptionTwoParallels), this);
  (options_.version == 0 ? one_ : two_)->setChecked(true);
  layout->addWidget(one_);
  layout->addWidget(two_);
  auto* form = new QFormLayout;
  north_ = new DmsEdit(this);
  south_ = new DmsEdit(this);
  meridian_ = new DmsEdit(this);
  origin_ = new DmsEdit(this);
  north_->setValue(options_.north);
  south_->setValue(options_.south);
  meridian_->setValue(options_.meridian);
  origin_->setValue(options_.origin);
  falseEast_ = numberEdit(this, options_.falseEast);
  falseNorth_ = numberEdit(this, options_.falseNorth);
  northLabel_ = new QLabel(uiText(str::LabelNorthParallel), this);
  southLabel_ = new QLabel(this);
  auto* originLabel = new QLabel(uiText(str::LabelLatitudeOfOrigin), this);
  form->addRow(northLabel_, north_);
  form->addRow(southLabel_, south_);
  form->addRow(uiText(str::LabelCentralMeridian), meridian_);
  form->addRow(originLabel, origin_);
  form->addRow(uiText(str::LabelFalseEasting), falseEast_);
  form->addRow(uiText(str::LabelFalseNorthing), falseNorth_);
  layout->addLayout(form);
  // The latitude of origin belongs to the presets; the user's case has it 0
  // (two parallels) or on its parallel (one).
  origin_->setVisible(preset_);
  originLabel->setVisible(preset_);
  if (preset_) {
    for (DmsEdit* edit : {north_, south_, meridian_, origin_}) edit->setReadOnly(true);
    falseEast_->setReadOnly(true);
    falseNorth_->setReadOnly(true);
    one_->setEnabled(false);
    two_->setEnabled(false);
  }
  connect(one_, &QRadioButton::toggled, this, &LambertDialog::applyVersion);
  addButtons(this, layout);
  applyVersion();
}

void LambertDialog::applyVersion() {
  const bool two = two_->isChecked();
  north_->setVisible(two);
  northLabel_->setVisible(two);
  southLabel_->setText(uiText(two ? str::LabelSouthParallel : str::LabelSingleParallel));
}

void LambertDialog::accept() {
  if (!preset_) {
    options_.version = two_->isChecked() ? 1 : 0;
    options_.north = north_->value();  // kept even while hidden
    options_.south = south_->value();
    options_.meridian = meridian_->value();
    options_.falseEast = numberOf(falseEast_);
    options_.falseNorth = numberOf(falseNorth_);
    options_.save(store_);
  }
  QDialog::accept();
}

// --- Soldner ----------------------------------------------------------------------

SoldnerDialog::SoldnerDialog(const SettingsStore& store, const SoldnerOptions& options, bool baden, bool greenwich,
                             QWidget* parent)
    : QDialog(parent), store_(store), options_(options), baden_(baden), greenwichValue_(greenwich) {
  setWindowTitle(uiText(str::SoldnerTitle));
  if (baden_) {
    options_ = SoldnerOptions::baden();
  } else {
    options_.load(store_);
  }
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  origin_ = new DmsEdit(this);
  meridian_ = new DmsEdit(this);
  origin_->setValue(options_.origin);
  meridian_->setValue(options_.meridian);
  falseEast_ = numberEdit(this, options_.falseEast);
  falseNorth_ = numberEdit(this, options_.falseNorth);
  form->addRow(uiText(str::LabelLatitudeOfOrigin), origin_);
  form->addRow(uiText(str::LabelMeridianOfOrigin), meridian_);
  form->addRow(uiText(str::LabelFalseEasting), falseEast_);
  form->addRow(uiText(str::LabelFalseNorthing), falseNorth_);
  layout->addLayout(form);
  greenwich_ = new QCheckBox(uiText(str::CheckGreenwich), this);
  greenwich_->setChecked(greenwich);
  greenwich_->setVisible(baden_);
  layout->addWidget(greenwich_);
  addButtons(this, layout);
}

void SoldnerDialog::accept() {
  options_.origin = origin_->value();
  options_.meridian = meridian_->value();
  options_.falseEast = numberOf(falseEast_);
  options_.falseNorth = numberOf(falseNorth_);
  greenwichValue_ = greenwich_->isChecked();
  if (!baden_) options_.save(store_);
  QDialog::accept();
}

}  // namespace pelmar::ui
