#include "ui/MainDialog.h"

#include <QTabWidget>
#include <QVBoxLayout>

#include "app/StringIds.h"

namespace pelmar::ui {

QString uiText(const StartUpState& state, int id) { return QString::fromStdString(state.table.text(id)); }

MainDialog::MainDialog(const StartUpState& state, QWidget* parent) : QDialog(parent), state_(state) {
  setWindowTitle(QStringLiteral("Pelmar"));
  auto* layout = new QVBoxLayout(this);
  tabs_ = new QTabWidget(this);
  tabs_->setUsesScrollButtons(false);
  layout->addWidget(tabs_);
  for (int id : {str::TabConversion, str::TabGeodeticProblems, str::TabEstimation, str::TabStoredTransformations,
                 str::TabNtv2, str::TabSettings}) {
    tabs_->addTab(new QWidget(tabs_), uiText(state_, id));
  }
  resize(760, 560);
}

}  // namespace pelmar::ui
