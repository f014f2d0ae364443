#include "ui/EstimationOptionsDialog3DBL.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleValidator>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cmath>
#include <cstring>
#include <string>

#include "app/StringIds.h"
#include "text/LineScanner.h"
#include "ui/DialogParts.h"
#include "ui/MessageBoxes.h"
#include "ui/UiText.h"

namespace pelmar::ui {

namespace {

// The largest pre-translation the estimation accepts (metres): beyond the
// Earth's size a value can only be a typing error.
constexpr double kLargestTranslation = EstimationOptions3DBL::kLargestShift;

// Up to 15 significant digits, always with a decimal point.
QString numberText(double value) { return QString::number(value, 'g', 15); }

// The whole field as a locale-free number; false for an empty field, text
// after the number or a value that overflows.
bool parseNumber(const QLineEdit* edit, double& value) {
  const std::string text = edit->text().trimmed().toStdString();
  value = 0.0;
  return !text.empty() && parseRealPrefix(text, value) == text.size() && std::isfinite(value);
}

QLineEdit* numberEdit(QWidget* parent, double value) {
  auto* edit = new QLineEdit(numberText(value), parent);
  auto* validator = new QDoubleValidator(edit);
  QLocale locale = QLocale::c();
  locale.setNumberOptions(QLocale::RejectGroupSeparator);
  validator->setLocale(locale);
  validator->setNotation(QDoubleValidator::ScientificNotation);
  edit->setValidator(validator);
  edit->setMinimumWidth(110);
  return edit;
}

QCheckBox* checkBox(QWidget* parent, int textId, int value) {
  auto* box = new QCheckBox(uiText(textId), parent);
  box->setChecked(value != 0);
  return box;
}

// A label's text for a message: without the trailing colon.
QString fieldName(const QLabel* label) {
  QString name = label->text().trimmed();
  while (name.endsWith(QLatin1Char(':'))) name.chop(1);
  return name.trimmed();
}

}  // namespace

EstimationOptionsDialog3DBL::EstimationOptionsDialog3DBL(const SettingsStore& store, const EllipsoidList& ellipsoids,
                                                         bool storingAvailable, QWidget* parent)
    : QDialog(parent), store_(store), ellipsoids_(ellipsoids), storingAvailable_(storingAvailable) {
  setWindowTitle(uiText(str::Options3DBLTitle));
  options_.load(store_);
  auto* layout = new QVBoxLayout(this);

  // Method and parameter groups side by side.
  auto* top = new QHBoxLayout;
  top->addWidget(methodGroup(this, options_.type, l1_, leastSquares_), 0, Qt::AlignTop);
  auto* groups = new QGroupBox(uiText(str::GroupParameters), this);
  auto* groupsLayout = new QVBoxLayout(groups);
  rotations_ = checkBox(groups, str::OptionRotations, options_.rotations);
  translations_ = checkBox(groups, str::OptionTranslations, options_.translations);
  scale_ = checkBox(groups, str::OptionScale, options_.scale);
  oneScale_ = new QRadioButton(uiText(str::OptionOneScale), groups);
  twoScales_ = new QRadioButton(uiText(str::OptionTwoScales), groups);
  (options_.scaleKindSetting() == 2 ? twoScales_ : oneScale_)->setChecked(true);
  groupsLayout->addWidget(rotations_);
  groupsLayout->addWidget(translations_);
  groupsLayout->addWidget(scale_);
  auto* kinds = new QVBoxLayout;
  kinds->setContentsMargins(24, 0, 0, 0);  // the scale kinds belong to "Scale"
  kinds->addWidget(oneScale_);
  kinds->addWidget(twoScales_);
  groupsLayout->addLayout(kinds);
  top->addWidget(groups, 1);
  layout->addLayout(top);

  // The two ellipsoids.
  auto* ellipsoidGrid = new QGridLayout;
  sourceCombo_ = ellipsoidCombo(options_.ellipsoidSource);
  targetCombo_ = ellipsoidCombo(options_.ellipsoidTarget);
  const std::pair<int, QComboBox*> combos[] = {{str::LabelSourceEllipsoid, sourceCombo_},
                                               {str::LabelTargetEllipsoid, targetCombo_}};
  int row = 0;
  for (const auto& [textId, comboBox] : combos) {
    auto* comboLabel = new QLabel(uiText(textId), this);
    comboLabel->setBuddy(comboBox);
    ellipsoidGrid->addWidget(comboLabel, row, 0);
    ellipsoidGrid->addWidget(comboBox, row, 1);
    ++row;
  }
  ellipsoidGrid->setColumnStretch(1, 1);
  layout->addLayout(ellipsoidGrid);

  // A-priori standard deviations and the pre-translation side by side.
  using O = EstimationOptions3DBL;
  auto addField = [this](QWidget* group, QGridLayout* grid, int gridRow, const char* key, int labelId,
                         double O::*member, bool positive) {
    auto* fieldLabel = new QLabel(uiText(labelId), group);
    QLineEdit* fieldEdit = numberEdit(group, options_.*member);
    fieldLabel->setBuddy(fieldEdit);
    grid->addWidget(fieldLabel, gridRow, 0);
    grid->addWidget(fieldEdit, gridRow, 1);
    fields_.push_back({key, member, positive, fieldLabel, fieldEdit});
  };
  fields_.reserve(9);
  auto* middle = new QHBoxLayout;
  auto* accuracies = new QGroupBox(uiText(str::GroupAccuracies), this);
  auto* accuracyGrid = new QGridLayout(accuracies);
  addField(accuracies, accuracyGrid, 0, "s0", str::LabelUnitWeight, &O::s0, true);
  addField(accuracies, accuracyGrid, 1, "sPlanSrc", str::LabelSourcePlan, &O::sPlanSource, true);
  addField(accuracies, accuracyGrid, 2, "sHeightSrc", str::LabelSourceHeight, &O::sHeightSource, true);
  addField(accuracies, accuracyGrid, 3, "SPlanTarget", str::LabelTargetPlan, &O::sPlanTarget, true);
  addField(accuracies, accuracyGrid, 4, "sHeight", str::LabelTargetHeight, &O::sHeightTarget, true);
  individual_ = checkBox(accuracies, str::OptionIndividual, options_.individual);
  accuracyGrid->addWidget(individual_, 5, 0, 1, 2);
  accuracyGrid->setRowStretch(6, 1);
  middle->addWidget(accuracies, 1);

  auto* shift = new QGroupBox(uiText(str::GroupPreTranslation), this);
  auto* shiftGrid = new QGridLayout(shift);
  preTranslate_ = checkBox(shift, str::OptionPreTranslation, options_.preTranslate);
  shiftGrid->addWidget(preTranslate_, 0, 0, 1, 2);
  addField(shift, shiftGrid, 1, "tx", str::LabelTx, &O::tx, false);
  addField(shift, shiftGrid, 2, "ty", str::LabelTy, &O::ty, false);
  addField(shift, shiftGrid, 3, "tz", str::LabelTz, &O::tz, false);
  prior_ = checkBox(shift, str::OptionPrior, options_.prior);
  shiftGrid->addWidget(prior_, 4, 0, 1, 2);
  addField(shift, shiftGrid, 5, "sTrans", str::LabelPriorSigma, &O::sTrans, true);
  shiftGrid->setRowStretch(6, 1);
  middle->addWidget(shift, 1);
  layout->addLayout(middle);

  writeIdentical_ = checkBox(this, str::OptionWriteIdentical, options_.writeIdentical);
  saveParams_ = checkBox(this, str::OptionSaveParams, options_.saveParams);
  savePointInfo_ = checkBox(this, str::OptionSavePointInfo, options_.savePointInfo);
  layout->addWidget(writeIdentical_);
  layout->addWidget(saveParams_);
  layout->addWidget(savePointInfo_);

  addOkCancel(this, layout);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  for (QCheckBox* box : {preTranslate_, prior_, rotations_, translations_, scale_, saveParams_}) {
    connect(box, &QCheckBox::toggled, this, &EstimationOptionsDialog3DBL::applyEnabling);
  }
  connect(twoScales_, &QRadioButton::toggled, this, &EstimationOptionsDialog3DBL::applyEnabling);
  applyEnabling();
}

QComboBox* EstimationOptionsDialog3DBL::ellipsoidCombo(int selected) {
  auto* box = new QComboBox(this);
  box->addItem(uiText(str::NoEllipsoid));
  for (const EllipsoidRecord& record : ellipsoids_) box->addItem(fromFileText(record.name));
  // A stored index the list no longer has means "no ellipsoid".
  box->setCurrentIndex(selected >= 0 && selected < box->count() ? selected : 0);
  return box;
}

void EstimationOptionsDialog3DBL::applyEnabling() {
  const bool pre = preTranslate_->isChecked();
  const bool translations = translations_->isChecked();
  for (const char* key : {"tx", "ty", "tz"}) {
    const NumberField* f = field(key);
    f->label->setEnabled(pre);
    f->edit->setEnabled(pre);
  }
  prior_->setEnabled(pre && translations);
  const NumberField* sigma = field("sTrans");
  const bool priorOn = pre && translations && prior_->isChecked();
  sigma->label->setEnabled(priorOn);
  sigma->edit->setEnabled(priorOn);

  const bool scale = scale_->isChecked();
  oneScale_->setEnabled(scale);
  twoScales_->setEnabled(scale);
  // A set holds one scale factor: a run with plan and height scales cannot
  // be stored.
  const bool twoScales = scale && twoScales_->isChecked();
  if (twoScales) saveParams_->setChecked(false);
  saveParams_->setEnabled(storingAvailable_ && !twoScales);
  savePointInfo_->setEnabled(saveParams_->isEnabled() && saveParams_->isChecked());
}

const EstimationOptionsDialog3DBL::NumberField* EstimationOptionsDialog3DBL::field(const char* key) const {
  for (const NumberField& f : fields_) {
    if (std::strcmp(f.key, key) == 0) return &f;
  }
  return nullptr;
}

QCheckBox* EstimationOptionsDialog3DBL::check(const char* key) const {
  const std::pair<const char*, QCheckBox*> boxes[] = {
      {"Rotations", rotations_},    {"Translations", translations_},     {"Scale", scale_},
      {"Individual", individual_},  {"Vortrafo", preTranslate_},         {"Vorinfo", prior_},
      {"SaveParams", saveParams_},  {"WriteIdentical", writeIdentical_}, {"SavePPInfo", savePointInfo_}};
  for (const auto& [name, box] : boxes) {
    if (std::strcmp(name, key) == 0) return box;
  }
  return nullptr;
}

QLineEdit* EstimationOptionsDialog3DBL::edit(const char* key) const {
  const NumberField* f = field(key);
  return f != nullptr ? f->edit : nullptr;
}

QLabel* EstimationOptionsDialog3DBL::label(const char* key) const {
  const NumberField* f = field(key);
  return f != nullptr ? f->label : nullptr;
}

QComboBox* EstimationOptionsDialog3DBL::combo(const char* key) const {
  if (std::strcmp(key, "EllipSrc") == 0) return sourceCombo_;
  if (std::strcmp(key, "EllipTarget") == 0) return targetCombo_;
  return nullptr;
}

QRadioButton* EstimationOptionsDialog3DBL::scaleKindButton(int kind) const {
  return kind == 1 ? oneScale_ : kind == 2 ? twoScales_ : nullptr;
}

QRadioButton* EstimationOptionsDialog3DBL::methodButton(int type) const {
  return type == 0 ? l1_ : type == 1 ? leastSquares_ : nullptr;
}

EllipsoidRecord EstimationOptionsDialog3DBL::recordAt(int comboIndex) const {
  if (comboIndex < 1 || comboIndex > static_cast<int>(ellipsoids_.size())) return {};
  return ellipsoids_[static_cast<std::size_t>(comboIndex - 1)];
}

EllipsoidRecord EstimationOptionsDialog3DBL::sourceEllipsoid() const { return recordAt(sourceCombo_->currentIndex()); }

EllipsoidRecord EstimationOptionsDialog3DBL::targetEllipsoid() const { return recordAt(targetCombo_->currentIndex()); }

void EstimationOptionsDialog3DBL::accept() {
  const struct {
    QComboBox* box;
    int message;
  } ellipsoidChoices[] = {{sourceCombo_, str::SourceEllipsoidMissing}, {targetCombo_, str::TargetEllipsoidMissing}};
  for (const auto& choice : ellipsoidChoices) {
    if (choice.box->currentIndex() <= 0) {
      showInformation(this, uiText(choice.message));
      choice.box->setFocus();
      return;
    }
  }

  // Every field in use must hold a value the estimation can take (a zero
  // standard deviation would give an infinite weight). A field that is
  // switched off and holds no usable value takes its default, so that the
  // stored section never stops a later run.
  const EstimationOptions3DBL defaults;
  std::vector<double> values(fields_.size());
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    const NumberField& f = fields_[i];
    double value = 0.0;
    const bool usable = parseNumber(f.edit, value) &&
                        (f.positive ? value > 0.0 : std::fabs(value) <= kLargestTranslation);
    if (usable) {
      values[i] = value;
    } else if (!f.edit->isEnabled()) {
      values[i] = defaults.*f.member;
    } else {
      const int message = f.positive ? str::PositiveNumberNeeded : str::NumberInRangeNeeded;
      showInformation(this, uiText(message, {fieldName(f.label)}));
      f.edit->setFocus();
      f.edit->selectAll();
      return;
    }
  }
  for (std::size_t i = 0; i < fields_.size(); ++i) options_.*fields_[i].member = values[i];

  auto flag = [](const QCheckBox* box) { return box->isChecked() ? 1 : 0; };
  options_.type = leastSquares_->isChecked() ? 1 : 0;
  options_.rotations = flag(rotations_);
  options_.translations = flag(translations_);
  options_.scale = flag(scale_);
  options_.setScaleKind(twoScales_->isChecked() ? 2 : 1);
  options_.individual = flag(individual_);
  options_.preTranslate = flag(preTranslate_);
  options_.prior = flag(prior_);
  options_.writeIdentical = flag(writeIdentical_);
  options_.saveParams = flag(saveParams_);
  options_.savePointInfo = flag(savePointInfo_);
  options_.ellipsoidSource = sourceCombo_->currentIndex();
  options_.ellipsoidTarget = targetCombo_->currentIndex();
  options_.save(store_);
  QDialog::accept();
}

}  // namespace pelmar::ui
