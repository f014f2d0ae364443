#include "ui/ParameterSetDialog.h"

#include <algorithm>

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "points/LineFormatters.h"
#include "text/LineScanner.h"
#include "ui/DialogParts.h"
#include "ui/MessageBoxes.h"
#include "ui/ProjectionDialogs.h"
#include "ui/UiText.h"

namespace pelmar::ui {

namespace {

// The shortest text that reads back as the same double.
QString exactText(double value) {
  char text[40];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return QString::fromLatin1(text, static_cast<qsizetype>(end - text));
}

// The whole field (blanks around it aside) as a locale-free number.
bool parseNumber(const QString& field, double& value) {
  const std::string text = field.trimmed().toStdString();
  double parsed = 0.0;
  if (text.empty() || parseRealPrefix(text, parsed) != text.size() || !std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

bool parseInteger(const QString& field, int& value) {
  const std::string text = field.trimmed().toStdString();
  long long parsed = 0;
  if (text.empty() || parseIntegerPrefix(text, parsed) != text.size() || parsed < std::numeric_limits<int>::min() ||
      parsed > std::numeric_limits<int>::max()) {
    return false;
  }
  value = static_cast<int>(parsed);
  return true;
}

// `value` with `decimals` decimals (trailing zeros dropped when `trim`),
// "0.0000" for 1.8e-11 m; the shortest exact text where fixed decimals
// would run long (1e20).
QString fixedText(double value, int decimals, bool trim) {
  if (!std::isfinite(value) || std::fabs(value) >= 1e12) return exactText(value);
  QString text = QString::number(value, 'f', decimals);
  if (trim && text.contains(QLatin1Char('.'))) {
    while (text.endsWith(QLatin1Char('0'))) text.chop(1);
    if (text.endsWith(QLatin1Char('.'))) text.chop(1);
  }
  if (text.startsWith(QLatin1Char('-')) && text.count(QRegularExpression(QStringLiteral("[1-9]"))) == 0) text.remove(0, 1);
  return text;
}

// The seconds with ten decimals (1e-10" is about 5e-16 rad), without
// trailing zeros. Only shown: an unchanged rotation keeps its exact value.
QString secondsText(double seconds) {
  QString text = QString::number(seconds, 'f', 10);
  while (text.endsWith(QLatin1Char('0'))) text.chop(1);
  if (text.endsWith(QLatin1Char('.'))) text.chop(1);
  if (text == QLatin1String("-0")) text = QStringLiteral("0");
  return text;
}

// A label's text for a message: without the trailing colon.
QString fieldName(const QLabel* label) {
  QString name = label->text().trimmed();
  while (name.endsWith(QLatin1Char(':'))) name.chop(1);
  return name.trimmed();
}

void refuse(QWidget* parent, const QString& message, QWidget* focus) {
  showInformation(parent, message);
  focus->setFocus();
  if (auto* edit = qobject_cast<QLineEdit*>(focus)) edit->selectAll();
}

}  // namespace

ParameterSetDialog::ParameterSetDialog(const TransformationSet& set, const EllipsoidList& ellipsoids,
                                       const std::vector<TransformationSet>& stored, int captionId, QWidget* parent)
    : QDialog(parent), set_(set), ellipsoids_(ellipsoids) {
  setWindowTitle(uiText(captionId));
  storedNames_.reserve(stored.size());
  for (const TransformationSet& s : stored) storedNames_.push_back(fromFileText(s.name).trimmed());
  originalName_ = fromFileText(set_.name);
  originalDescription_ = fromFileText(set_.description);

  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  type_ = new QComboBox(this);
  type_->addItems({uiText(str::SetTypeRigorous), uiText(str::SetTypeLinearised), uiText(str::SetTypeEllipsoidal)});
  // A type the program does not know selects nothing and is kept.
  type_->setCurrentIndex(set_.type >= 0 && set_.type < type_->count() ? set_.type : -1);
  name_ = new QLineEdit(originalName_, this);
  description_ = new QLineEdit(originalDescription_, this);
  form->addRow(uiText(str::SetLabelType), type_);
  form->addRow(uiText(str::LabelName), name_);
  form->addRow(uiText(str::SetLabelDescription), description_);
  layout->addLayout(form);

  // Rotations, translations and scale.
  auto* parameters = new QGroupBox(uiText(str::SetGroupParameters), this);
  auto* grid = new QGridLayout(parameters);
  const int rotationIds[] = {str::SetLabelRotation1, str::SetLabelRotation2, str::SetLabelRotation3};
  for (int i = 0; i < 3; ++i) {
    auto* label = new QLabel(uiText(rotationIds[i]), parameters);
    auto* edit = new DmsEdit(parameters);
    // Split as shown, with the seconds to ten decimals (see secondsText).
    const DmsAngle dms = SplitDegrees(set_.rotation[static_cast<std::size_t>(i)], 10);
    auto& texts = rotationTexts_[static_cast<std::size_t>(i)];
    texts = {QString::number(dms.degrees), QString::number(dms.minutes), secondsText(dms.seconds)};
    edit->degreesEdit()->setText(texts[0]);
    edit->minutesEdit()->setText(texts[1]);
    edit->secondsEdit()->setText(texts[2]);
    label->setBuddy(edit->degreesEdit());
    grid->addWidget(label, i, 0);
    grid->addWidget(edit, i, 1, 1, 2);
    rotations_[static_cast<std::size_t>(i)] = edit;
    rotationLabels_[static_cast<std::size_t>(i)] = label;
  }
  const int translationIds[] = {str::SetLabelTranslation1, str::SetLabelTranslation2, str::SetLabelTranslation3};
  for (int i = 0; i < 3; ++i) {
    translations_[static_cast<std::size_t>(i)] =
        addNumber(grid, 3 + i, 0, uiText(translationIds[i]), &set_.translation[static_cast<std::size_t>(i)]);
  }
  // The scale as the factor m and as m − 1, each in an edit of its own; the
  // radio buttons choose which one is entered (only that edit is enabled).
  scaleLabel_ = new QLabel(uiText(str::SetLabelScale), parameters);
  factor_ = new QLineEdit(parameters);
  correction_ = new QLineEdit(parameters);
  asFactor_ = new QRadioButton(uiText(str::SetScaleAsFactor), parameters);
  asCorrection_ = new QRadioButton(uiText(str::SetScaleAsCorrection), parameters);
  scaleLabel_->setBuddy(asFactor_);
  scalePpm_ = new QLabel(parameters);
  auto* scaleRow = new QGridLayout;
  scaleRow->addWidget(asFactor_, 0, 0);
  scaleRow->addWidget(factor_, 0, 1);
  scaleRow->addWidget(asCorrection_, 1, 0);
  scaleRow->addWidget(correction_, 1, 1);
  scaleRow->addWidget(scalePpm_, 1, 2);
  scaleRow->setColumnStretch(2, 1);
  grid->addWidget(scaleLabel_, 6, 0, Qt::AlignTop);
  grid->addLayout(scaleRow, 6, 1, 1, 2);
  // Types 1 and 2 are entered as m − 1, type 0 as m.
  (set_.type == 1 || set_.type == 2 ? asCorrection_ : asFactor_)->setChecked(true);
  grid->setColumnStretch(2, 1);
  layout->addWidget(parameters);

  // The auxiliary values of types 0 and 1 beside the ellipsoids and the
  // pre-translation of type 2.
  auto* bottom = new QHBoxLayout;
  auxiliaryGroup_ = new QGroupBox(uiText(str::SetGroupAuxiliary), this);
  auto* auxiliaryGrid = new QGridLayout(auxiliaryGroup_);
  // a1…a3 the source centroid, a4…a6 the target centroid: two columns
  // under their headings.
  for (int side = 0; side < 2; ++side) {
    auto* heading = new QLabel(uiText(side == 0 ? str::SetSourceCentroid : str::SetTargetCentroid), auxiliaryGroup_);
    auxiliaryGrid->addWidget(heading, 0, side * 2, 1, 2);
  }
  for (int i = 0; i < 6; ++i) {
    auxiliary_[static_cast<std::size_t>(i)] = addNumber(auxiliaryGrid, 1 + i % 3, (i / 3) * 2,
                                                        QStringLiteral("a%1:").arg(i + 1),
                                                        &set_.auxiliary[static_cast<std::size_t>(i)]);
  }
  auxiliaryGrid->setRowStretch(4, 1);
  bottom->addWidget(auxiliaryGroup_, 1);

  ellipsoidalGroup_ = new QGroupBox(uiText(str::SetGroupEllipsoidal), this);
  auto* ellipsoidalGrid = new QGridLayout(ellipsoidalGroup_);
  sourceEllipsoid_ = ellipsoidCombo(set_.sourceEllipsoid, sourceChoices_);
  targetEllipsoid_ = ellipsoidCombo(set_.targetEllipsoid, targetChoices_);
  // A set of another type uses no ellipsoids: both lists show the empty entry.
  if (set_.type != 2) {
    for (QComboBox* combo : {sourceEllipsoid_, targetEllipsoid_}) combo->setCurrentIndex(combo->count() - 1);
  }
  const std::pair<int, QComboBox*> combos[] = {{str::LabelSourceEllipsoid, sourceEllipsoid_},
                                               {str::LabelTargetEllipsoid, targetEllipsoid_}};
  int row = 0;
  for (const auto& [textId, combo] : combos) {
    auto* label = new QLabel(uiText(textId), ellipsoidalGroup_);
    label->setBuddy(combo);
    ellipsoidalGrid->addWidget(label, row, 0);
    ellipsoidalGrid->addWidget(combo, row, 1);
    ++row;
  }
  const int shiftIds[] = {str::LabelTx, str::LabelTy, str::LabelTz};
  for (int i = 0; i < 3; ++i) {
    preTranslation_[static_cast<std::size_t>(i)] =
        addNumber(ellipsoidalGrid, 2 + i, 0, uiText(shiftIds[i]), &set_.preTranslation[static_cast<std::size_t>(i)]);
  }
  ellipsoidalGrid->setRowStretch(5, 1);
  bottom->addWidget(ellipsoidalGroup_, 1);
  layout->addLayout(bottom);

  addOkCancel(this, layout);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  showScale();
  // Leaving one edit shows its value in the other: m − 1 = m − 1, m = (m − 1) + 1.
  connect(factor_, &QLineEdit::editingFinished, this, [this] {
    if (takeScale()) showScale();
  });
  connect(correction_, &QLineEdit::editingFinished, this, [this] {
    if (takeScale()) showScale();
  });
  connect(correction_, &QLineEdit::textChanged, this, [this] { showPpm(); });
  connect(asFactor_, &QRadioButton::toggled, this, [this] {
    // The value of the edit that was in use, then the other one enabled.
    takeScale(!asFactor_->isChecked());
    showScale();
    applyEnabling();
  });
  connect(type_, &QComboBox::currentIndexChanged, this, &ParameterSetDialog::applyEnabling);
  applyEnabling();
}

ParameterSetDialog::NumberField ParameterSetDialog::addNumber(QGridLayout* grid, int row, int column,
                                                              const QString& label, double* value) {
  QWidget* parentWidget = grid->parentWidget();
  // Metres to 0.1 mm; only shown: an unchanged field keeps its exact value.
  const QString shown = fixedText(*value, 4, false);
  NumberField field{new QLabel(label, parentWidget), new QLineEdit(shown, parentWidget), value, shown};
  field.edit->setMinimumWidth(140);
  field.label->setBuddy(field.edit);
  grid->addWidget(field.label, row, column);
  grid->addWidget(field.edit, row, column + 1);
  return field;
}

QComboBox* ParameterSetDialog::ellipsoidCombo(const EllipsoidRecord& selected, EllipsoidList& choices) {
  // The list's ellipsoids; a set's own ellipsoid that the list lacks (or
  // holds with other axes) stays a choice of its own, so that editing
  // anything else never swaps in other axes.
  choices = ellipsoids_;
  const auto same = [&](const EllipsoidRecord& r) {
    return r.name == selected.name && r.a == selected.a && r.b == selected.b;
  };
  auto found = std::find_if(choices.begin(), choices.end(), same);
  if (found == choices.end() && !selected.name.empty() && selected.a > 0.0) {
    choices.insert(choices.begin(), selected);
    found = choices.begin();
  }
  auto* combo = new QComboBox(this);
  for (const EllipsoidRecord& record : choices) combo->addItem(fromFileText(record.name));
  combo->addItem(QString());  // no ellipsoid
  combo->setCurrentIndex(found != choices.end() ? static_cast<int>(found - choices.begin()) : combo->count() - 1);
  return combo;
}

void ParameterSetDialog::applyEnabling() {
  factor_->setEnabled(asFactor_->isChecked());
  correction_->setEnabled(asCorrection_->isChecked());
  const int type = type_->currentIndex();
  auxiliaryGroup_->setEnabled(type == 0 || type == 1);
  ellipsoidalGroup_->setEnabled(type == 2);
}

void ParameterSetDialog::showScale() {
  // Near 1 the difference m − 1 is exact, so 1 + (m − 1) gives m back.
  // Fifteen decimals are 1e-9 ppm; an unchanged text keeps the exact value
  // (takeScale).
  factorShown_ = fixedText(set_.scale, 15, true);
  correctionShown_ = fixedText(set_.scale - 1.0, 15, true);
  factor_->setText(factorShown_);
  correction_->setText(correctionShown_);
  showPpm();
}

void ParameterSetDialog::showPpm() {
  double value = 0.0;
  if (!parseNumber(correction_->text(), value)) return scalePpm_->clear();
  const double correction = correction_->text() == correctionShown_ ? set_.scale - 1.0 : value;
  scalePpm_->setText(QStringLiteral("= %1 ppm").arg(fixedText(correction * 1e6, 6, true)));
}

bool ParameterSetDialog::takeScale(bool fromFactor) {
  QLineEdit* edit = fromFactor ? factor_ : correction_;
  if (edit->text() == (fromFactor ? factorShown_ : correctionShown_)) return true;
  double value = 0.0;
  if (!parseNumber(edit->text(), value)) return false;
  set_.scale = fromFactor ? value : 1.0 + value;
  return true;
}

bool ParameterSetDialog::takeScale() { return takeScale(asFactor_->isChecked()); }

QLineEdit* ParameterSetDialog::scaleEdit() const { return asFactor_->isChecked() ? factor_ : correction_; }

// Each rotation from its three fields, as the projection library's GMSDEZ
// joins them: |d| + |m|/60 + |s|/3600, negative when any part is; a part
// written with a minus sign counts as negative even when it is 0 ("-0° 30'"
// is -0.5°), which an integer cannot carry. A rotation whose fields are as
// the dialog showed them keeps its exact value.
bool ParameterSetDialog::takeRotations(std::array<double, 3>& degrees) {
  for (std::size_t i = 0; i < 3; ++i) {
    const DmsEdit* edit = rotations_[i];
    const QLineEdit* parts[] = {edit->degreesEdit(), edit->minutesEdit(), edit->secondsEdit()};
    const auto& shown = rotationTexts_[i];
    if (parts[0]->text() == shown[0] && parts[1]->text() == shown[1] && parts[2]->text() == shown[2]) {
      degrees[i] = set_.rotation[i];
      continue;
    }
    int d = 0, m = 0;
    double s = 0.0;
    QLineEdit* wrong = !parseInteger(parts[0]->text(), d)   ? edit->degreesEdit()
                       : !parseInteger(parts[1]->text(), m) ? edit->minutesEdit()
                       : !parseNumber(parts[2]->text(), s)  ? edit->secondsEdit()
                                                            : nullptr;
    // Minutes and seconds below 60: "0 75 0" is a typing error, not 1°15′.
    if (wrong == nullptr && std::fabs(static_cast<double>(m)) >= 60) wrong = edit->minutesEdit();
    if (wrong == nullptr && !(std::fabs(s) < 60.0)) wrong = edit->secondsEdit();
    if (wrong != nullptr) {
      refuse(this, uiText(str::SetNumberNeeded, {fieldName(rotationLabels_[i])}), wrong);
      return false;
    }
    bool negative = false;
    for (const QLineEdit* part : parts) negative = negative || part->text().trimmed().startsWith(QLatin1Char('-'));
    // In doubles: the magnitude of INT_MIN is no int.
    const double value = std::fabs(static_cast<double>(d)) + std::fabs(static_cast<double>(m)) / 60.0 + std::fabs(s) / 3600.0;
    degrees[i] = negative ? -value : value;
  }
  return true;
}

bool ParameterSetDialog::checkName(QString& chosen) {
  const QString text = name_->text();
  if (text.trimmed().isEmpty()) {
    refuse(this, uiText(str::SetNameMissing), name_);
    return false;
  }
  if (text == originalName_) {
    chosen = text;
    return true;
  }
  // The name as the file will hold it (Windows-1252), without its blanks.
  chosen = fromFileText(toFileText(text.trimmed()));
  for (const QString& stored : storedNames_) {
    if (stored == chosen) {
      refuse(this, uiText(str::SetNameTaken, {chosen}), name_);
      return false;
    }
  }
  return true;
}

void ParameterSetDialog::accept() {
  QString name;
  if (!checkName(name)) return;
  const int type = type_->currentIndex();
  // The last entry of an ellipsoid list means none.
  auto chosen = [](const QComboBox* combo, const EllipsoidList& choices) {
    return combo->currentIndex() >= 0 && combo->currentIndex() < static_cast<int>(choices.size());
  };
  if (type == 2 && !chosen(sourceEllipsoid_, sourceChoices_)) {
    refuse(this, uiText(str::SetSourceEllipsoidMissing), sourceEllipsoid_);
    return;
  }
  if (type == 2 && !chosen(targetEllipsoid_, targetChoices_)) {
    refuse(this, uiText(str::SetTargetEllipsoidMissing), targetEllipsoid_);
    return;
  }

  std::array<double, 3> rotations{};
  if (!takeRotations(rotations)) return;
  const double scaleBefore = set_.scale;
  // The edit in use decides m.
  if (!takeScale() || !(set_.scale > 0.0)) {
    set_.scale = scaleBefore;
    refuse(this, uiText(str::SetNumberNeeded, {fieldName(scaleLabel_)}), scaleEdit());
    return;
  }
  // Every field in use must hold a number; a switched-off field that does
  // not keeps the set's value, as the user cannot correct it.
  std::vector<const NumberField*> fields;
  for (const NumberField& field : translations_) fields.push_back(&field);
  for (const NumberField& field : auxiliary_) fields.push_back(&field);
  for (const NumberField& field : preTranslation_) fields.push_back(&field);
  std::vector<std::pair<double*, double>> values;
  for (const NumberField* field : fields) {
    double value = 0.0;
    if (field->edit->text() == field->shown) continue;
    if (parseNumber(field->edit->text(), value)) {
      values.emplace_back(field->value, value);
    } else if (field->edit->isEnabled()) {
      refuse(this, uiText(str::SetNumberNeeded, {fieldName(field->label)}), field->edit);
      return;
    }
  }

  for (const auto& [target, value] : values) *target = value;
  set_.rotation = rotations;
  if (type >= 0) set_.type = type;
  // Unchanged texts keep their bytes as the file holds them.
  if (name != originalName_) set_.name = toFileText(name);
  if (description_->text() != originalDescription_) set_.description = toFileText(description_->text());
  if (set_.type == 2) {
    set_.sourceEllipsoid = sourceChoices_[static_cast<std::size_t>(sourceEllipsoid_->currentIndex())];
    set_.targetEllipsoid = targetChoices_[static_cast<std::size_t>(targetEllipsoid_->currentIndex())];
    set_.auxiliary = {};
  }
  QDialog::accept();
}

}  // namespace pelmar::ui
