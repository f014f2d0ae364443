#include "ui/EllipsoidDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <tuple>

#include "app/StringIds.h"
#include "text/LineScanner.h"
#include "text/NumberFormat.h"
#include "ui/MessageBoxes.h"
#include "ui/DialogParts.h"
#include "ui/UiText.h"

namespace pelmar::ui {

EllipsoidDialog::EllipsoidDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(uiText(str::EllipsoidDialogTitle));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  name_ = new QLineEdit(this);
  a_ = new QLineEdit(this);
  second_ = new QLineEdit(this);
  kind_ = new QComboBox(this);
  // People write the flattening as its inverse ("1/f = 298.257223563").
  kind_->addItems({uiText(str::SecondSemiMinorAxis), uiText(str::SecondEccentricity), uiText(str::SecondFlattening),
                   uiText(str::SecondInverseFlattening)});
  for (QLineEdit* edit : {a_, second_}) edit->setMinimumWidth(200);
  form->addRow(uiText(str::LabelName), name_);
  form->addRow(uiText(str::LabelSemiMajorAxis), a_);
  form->addRow(kind_, second_);
  layout->addLayout(form);
  addOkCancel(this, layout);
  connect(kind_, &QComboBox::currentIndexChanged, this, &EllipsoidDialog::convertSecond);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

double EllipsoidDialog::value(const QLineEdit* edit) const {
  double number = 0.0;
  const std::string text = edit->text().trimmed().toStdString();
  parseRealPrefix(text, number);
  return number;
}

void EllipsoidDialog::setValue(QLineEdit* edit, double number) {
  // The shortest text that reads back as the same double: switching the
  // second parameter back and forth loses nothing.
  char text[40];
  const auto result = std::to_chars(text, text + sizeof text, number);
  edit->setText(QString::fromLatin1(text, static_cast<qsizetype>(result.ptr - text)));
}

void EllipsoidDialog::setEllipsoid(const EllipsoidRecord& record) {
  name_->setText(fromFileText(record.name));
  kind_->setCurrentIndex(0);
  setValue(a_, record.a);
  setValue(second_, record.b);
}

void EllipsoidDialog::convertSecond(int index) {
  const auto to = static_cast<SecondParameter>(index);
  setValue(second_, convertSecondParameter(value(a_), value(second_), shown_, to));
  shown_ = to;
}

void EllipsoidDialog::accept() {
  if (name_->text().isEmpty()) {
    showInformation(this, uiText(str::EllipsoidNameMissing));
    name_->setFocus();
    return;
  }
  const std::string name = toFileText(name_->text());
  if (std::find(taken_.begin(), taken_.end(), name) != taken_.end()) {
    showInformation(this, uiText(str::EllipsoidNameTaken, {name_->text()}));
    name_->setFocus();
    return;
  }
  // Each field must read whole: "6.378.137" is no 6.378 m.
  double a = 0.0, second = 0.0;
  const auto fields = {std::tuple{a_, uiText(str::LabelSemiMajorAxis), &a},
                       std::tuple{second_, kind_->currentText(), &second}};
  for (auto [edit, label, number] : fields) {
    if (!ParseWholeNumber(edit->text().toStdString(), *number)) {
      if (label.endsWith(':')) label.chop(1);
      showInformation(this, uiText(str::FieldNotANumber, {label, edit->text()}));
      edit->setFocus();
      return;
    }
  }
  if (shown_ == SecondParameter::Flattening && second >= 1.0) {
    showInformation(this, uiText(str::FlatteningLooksInverse, {second_->text().trimmed()}));
    second_->setFocus();
    return;
  }
  const double b = convertSecondParameter(a, second, shown_, SecondParameter::SemiMinorAxis);
  switch (CheckEllipsoidAxes(a, b)) {
    case AxesProblem::None: break;
    case AxesProblem::Range:
      showInformation(this, uiText(str::EllipsoidAxesInvalid, {name_->text()}));
      a_->setFocus();
      return;
    case AxesProblem::Flattening:
      showInformation(this, uiText(str::EllipsoidFlatteningImplausible, {name_->text(), QString::number((a - b) / a, 'g', 6)}));
      second_->setFocus();
      return;
  }
  result_ = {name, a, b};
  QDialog::accept();
}

}  // namespace pelmar::ui
