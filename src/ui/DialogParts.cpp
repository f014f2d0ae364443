#include "ui/DialogParts.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/StringIds.h"
#include "ui/UiText.h"

namespace pelmar::ui {

void addOkCancel(QDialog* dialog, QVBoxLayout* layout) {
  auto* buttons = new QDialogButtonBox(dialog);
  buttons->addButton(uiText(str::ButtonOk), QDialogButtonBox::AcceptRole)->setDefault(true);
  buttons->addButton(uiText(str::ButtonCancel), QDialogButtonBox::RejectRole);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  layout->addWidget(buttons);
}

QLabel* addEllipsoidLine(QDialog* dialog, const QString& text) {
  auto* label = new QLabel(text, dialog);
  label->setObjectName(QStringLiteral("ellipsoidLine"));
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  if (auto* layout = qobject_cast<QVBoxLayout*>(dialog->layout())) layout->insertWidget(0, label);
  return label;
}

QGroupBox* methodGroup(QWidget* parent, int type, QRadioButton*& l1, QRadioButton*& leastSquares) {
  auto* group = new QGroupBox(uiText(str::GroupMethod), parent);
  auto* layout = new QVBoxLayout(group);
  l1 = new QRadioButton(uiText(str::OptionL1), group);
  leastSquares = new QRadioButton(uiText(str::OptionLeastSquares), group);
  layout->addWidget(l1);
  layout->addWidget(leastSquares);
  (type == 0 ? l1 : leastSquares)->setChecked(true);
  return group;
}

}  // namespace pelmar::ui
