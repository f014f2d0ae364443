#include "ui/EstimationOptionsDialog2D.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/StringIds.h"
#include "ui/DialogParts.h"
#include "ui/UiText.h"

namespace pelmar::ui {

EstimationOptionsDialog2D::EstimationOptionsDialog2D(const SettingsStore& store, QWidget* parent)
    : QDialog(parent), store_(store) {
  setWindowTitle(uiText(str::Options2DTitle));
  options_.load(store_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(methodGroup(this, options_.type, l1_, leastSquares_));
  center_ = new QCheckBox(uiText(str::OptionCenter), this);
  center_->setChecked(options_.center != 0);
  writeIdentical_ = new QCheckBox(uiText(str::OptionWriteIdentical), this);
  writeIdentical_->setChecked(options_.writeIdentical != 0);
  layout->addWidget(center_);
  layout->addWidget(writeIdentical_);
  addOkCancel(this, layout);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void EstimationOptionsDialog2D::accept() {
  options_.type = leastSquares_->isChecked() ? 1 : 0;
  options_.center = center_->isChecked() ? 1 : 0;
  options_.writeIdentical = writeIdentical_->isChecked() ? 1 : 0;
  options_.save(store_);
  QDialog::accept();
}

}  // namespace pelmar::ui
