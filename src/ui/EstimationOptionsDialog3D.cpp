#include "ui/EstimationOptionsDialog3D.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cstring>

#include "app/StringIds.h"
#include "ui/UiText.h"

namespace pelmar::ui {

EstimationOptionsDialog3D::EstimationOptionsDialog3D(const SettingsStore& store, bool storingAvailable,
                                                     QWidget* parent)
    : QDialog(parent), store_(store) {
  setWindowTitle(uiText(str::Options3DTitle));
  options_.load(store_);
  auto* layout = new QVBoxLayout(this);
  auto* method = new QGroupBox(uiText(str::GroupMethod), this);
  auto* methodLayout = new QVBoxLayout(method);
  l1_ = new QRadioButton(uiText(str::OptionL1), method);
  leastSquares_ = new QRadioButton(uiText(str::OptionLeastSquares), method);
  methodLayout->addWidget(l1_);
  methodLayout->addWidget(leastSquares_);
  (options_.type == 0 ? l1_ : leastSquares_)->setChecked(true);
  layout->addWidget(method);

  auto* groups = new QGroupBox(uiText(str::GroupParameters), this);
  auto* groupsLayout = new QVBoxLayout(groups);
  auto box = [&](QWidget* parentWidget, QVBoxLayout* target, int textId, int value) {
    auto* check = new QCheckBox(uiText(textId), parentWidget);
    check->setChecked(value != 0);
    target->addWidget(check);
    return check;
  };
  rotations_ = box(groups, groupsLayout, str::OptionRotations, options_.rotations);
  scale_ = box(groups, groupsLayout, str::OptionScale, options_.scale);
  translations_ = box(groups, groupsLayout, str::OptionTranslations, options_.translations);
  layout->addWidget(groups);
  center_ = box(this, layout, str::OptionCenter, options_.center);
  writeIdentical_ = box(this, layout, str::OptionWriteIdentical, options_.writeIdentical);
  saveParams_ = box(this, layout, str::OptionSaveParams, options_.saveParams);
  savePointInfo_ = box(this, layout, str::OptionSavePointInfo, options_.savePointInfo);
  saveParams_->setEnabled(storingAvailable);
  savePointInfo_->setEnabled(storingAvailable);

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(uiText(str::ButtonOk), QDialogButtonBox::AcceptRole)->setDefault(true);
  buttons->addButton(uiText(str::ButtonCancel), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &EstimationOptionsDialog3D::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

QCheckBox* EstimationOptionsDialog3D::check(const char* key) const {
  const std::pair<const char*, QCheckBox*> boxes[] = {
      {"Rotations", rotations_}, {"Scale", scale_},           {"Translations", translations_},
      {"Center", center_},       {"WriteIdentical", writeIdentical_}, {"SaveParams", saveParams_},
      {"SavePPInfo", savePointInfo_}};
  for (const auto& [name, box] : boxes) {
    if (std::strcmp(name, key) == 0) return box;
  }
  return nullptr;
}

void EstimationOptionsDialog3D::accept() {
  options_.type = leastSquares_->isChecked() ? 1 : 0;
  options_.rotations = rotations_->isChecked() ? 1 : 0;
  options_.scale = scale_->isChecked() ? 1 : 0;
  options_.translations = translations_->isChecked() ? 1 : 0;
  options_.center = center_->isChecked() ? 1 : 0;
  options_.writeIdentical = writeIdentical_->isChecked() ? 1 : 0;
  options_.saveParams = saveParams_->isChecked() ? 1 : 0;
  options_.savePointInfo = savePointInfo_->isChecked() ? 1 : 0;
  options_.save(store_);
  QDialog::accept();
}

}  // namespace pelmar::ui
