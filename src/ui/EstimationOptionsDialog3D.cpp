#include "ui/EstimationOptionsDialog3D.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cstring>

#include "app/StringIds.h"
#include "ui/DialogParts.h"
#include "ui/UiText.h"

namespace pelmar::ui {

EstimationOptionsDialog3D::EstimationOptionsDialog3D(const SettingsStore& store, bool storingAvailable,
                                                     SpatialModel model, QWidget* parent)
    : QDialog(parent), store_(store), model_(model) {
  setWindowTitle(uiText(str::Options3DTitle));
  options_.load(store_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(methodGroup(this, options_.method(model_), l1_, leastSquares_));

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

  addOkCancel(this, layout);
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
  options_.method(model_) = leastSquares_->isChecked() ? 1 : 0;
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
