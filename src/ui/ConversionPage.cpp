#include "ui/ConversionPage.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/StringIds.h"
#include "conversion/ConversionTree.h"
#include "ui/DialogParts.h"
#include "ui/GuiHost.h"
#include "ui/MessageBoxes.h"
#include "ui/PageKeys.h"
#include "ui/PageServices.h"
#include "ui/ProjectionDialogs.h"
#include "ui/SessionState.h"
#include "ui/SettingsPage.h"
#include "ui/UiText.h"
#include "text/TextForm.h"

namespace pelmar::ui {

namespace {

constexpr int kGroupValue = -1;

}  // namespace

ConversionPage::ConversionPage(SettingsPage* settings, const std::filesystem::path& home, QWidget* parent)
    : QWidget(parent), settings_(settings) {
  library_.Open(home);
  auto* layout = new QVBoxLayout(this);
  tree_ = new QTreeWidget(this);
  tree_->setHeaderHidden(true);
  for (const ConversionTreeGroup& group : ConversionTree()) {
    auto* top = new QTreeWidgetItem(tree_, {uiText(group.labelId)});
    top->setData(0, Qt::UserRole, kGroupValue);
    for (const auto& [subLabel, codes] : group.subGroups) {
      QTreeWidgetItem* parentItem = top;
      if (subLabel != 0) {
        parentItem = new QTreeWidgetItem(top, {uiText(subLabel)});
        parentItem->setData(0, Qt::UserRole, kGroupValue);
      }
      for (int code : codes) {
        auto* leaf = new QTreeWidgetItem(parentItem, {uiText(FindConversion(code)->labelId)});
        leaf->setData(0, Qt::UserRole, code);
      }
    }
  }
  tree_->expandAll();
  layout->addWidget(tree_, 1);
  description_ = new QLabel(this);
  description_->setWordWrap(true);
  layout->addWidget(description_);
  ellipsoid_ = new QLabel(this);
  ellipsoid_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(ellipsoid_);
  connect(tree_, &QTreeWidget::currentItemChanged, this, &ConversionPage::updateDescription);

  auto* grid = new QGridLayout;
  auto editor = [this] { return QString::fromStdString(settings_->settings().editor); };
  input_ = services::addPointFileRow(this, grid, 0, str::LabelInputFile, true, editor, {}, "ConversionInput");
  output_ = services::addPointFileRow(this, grid, 1, str::LabelOutputPointFile, false, editor, {}, "ConversionOutput");
  grid->setColumnStretch(1, 1);
  layout->addLayout(grid);
  auto* buttons = new QHBoxLayout;
  auto* compute = new QPushButton(uiText(str::ButtonCompute), this);
  compute->setObjectName(kComputeButtonName);  // Ctrl+Enter presses it
  buttons->addStretch(1);
  buttons->addWidget(compute);
  layout->addLayout(buttons);
  connect(compute, &QPushButton::clicked, this, &ConversionPage::compute);
  prompt_ = [this](const ConversionInfo& conversion, ConversionJob& job) { return showOptions(conversion, job); };
}

void ConversionPage::updateDescription() {
  const QTreeWidgetItem* item = tree_->currentItem();
  // Every projection computes on an ellipsoid, and it was named nowhere:
  // UTM of a WGS84 point on the default Bessel came out 600 m off.
  ellipsoid_->setText(ellipsoidText(settings_->currentEllipsoid()));
  if (item == nullptr) {
    description_->clear();
  } else if (item->data(0, Qt::UserRole).toInt() == kGroupValue) {
    description_->setText(uiText(str::DescriptionGroup));
  } else {
    description_->setText(uiText(str::DescriptionPrefix) + item->text(0));
    const ConversionInfo* conversion = FindConversion(item->data(0, Qt::UserRole).toInt());
    if (conversion != nullptr) ellipsoid_->setText(ellipsoidLine(*conversion));
  }
}

QString ConversionPage::ellipsoidLine(const ConversionInfo& conversion) const {
  return ellipsoidText(ConversionEllipsoid(conversion, settings_->currentEllipsoid()),
                       conversion.ellipsoid != FixedEllipsoid::None);
}

// The settings page may have changed the ellipsoid meanwhile.
void ConversionPage::showEvent(QShowEvent* event) {
  updateDescription();
  QWidget::showEvent(event);
}

bool ConversionPage::selectConversion(int code) { return services::selectTreeValue(tree_, code); }

void ConversionPage::saveSession() const {
  saveFields({{"ConversionInput", input_}, {"ConversionOutput", output_}});
  const int code = services::currentTreeValue(tree_, kGroupValue);
  setSessionText("ConversionCode", code != kGroupValue ? QString::number(code) : QString());
}

void ConversionPage::restoreSession() {
  restoreFields({{"ConversionInput", input_}, {"ConversionOutput", output_}});
  if (const std::optional<QString> code = sessionText("ConversionCode")) selectConversion(code->toInt());
}

bool ConversionPage::showOptions(const ConversionInfo& conversion, ConversionJob& job) {
  const SettingsStore store = settings_->settingsStore();
  // Each dialog names the ellipsoid its projection computes on.
  const QString ellipsoid = ellipsoidLine(conversion);
  auto accepted = [&](QDialog& dialog) {
    addEllipsoidLine(&dialog, ellipsoid);
    return dialog.exec() == QDialog::Accepted;
  };
  switch (conversion.dialog) {
    case ConversionDialog::None:
      return true;
    case ConversionDialog::CentralMeridian: {
      CentralMeridianDialog dialog(store, centralMeridian_, this);
      if (!accepted(dialog)) return false;
      centralMeridian_ = dialog.options();
      break;
    }
    case ConversionDialog::AustrianMeridian: {
      AustrianMeridianDialog dialog(store, austrianMeridian_, this);
      if (!accepted(dialog)) return false;
      austrianMeridian_ = dialog.options();
      break;
    }
    case ConversionDialog::Mercator: {
      MercatorDialog dialog(store, mercator_, this);
      if (!accepted(dialog)) return false;
      mercator_ = dialog.options();
      break;
    }
    case ConversionDialog::Lambert: {
      LambertDialog dialog(store, lambert_, conversion.caseNumber, this);
      // The presets only show their constants: a cancel does not stop them.
      if (!accepted(dialog) && conversion.caseNumber == 0) return false;
      if (conversion.caseNumber == 0) lambert_ = dialog.options();
      break;
    }
    case ConversionDialog::Soldner: {
      SoldnerDialog dialog(store, soldner_, false, false, this);
      if (!accepted(dialog)) return false;
      soldner_ = dialog.options();
      break;
    }
    case ConversionDialog::SoldnerBaden: {
      SoldnerDialog dialog(store, baden_, true, greenwich_, this);
      if (!accepted(dialog)) return false;
      baden_ = dialog.options();
      greenwich_ = dialog.greenwich();
      break;
    }
  }
  job.centralMeridian = centralMeridian_;
  job.austrianMeridian = austrianMeridian_;
  job.mercator = mercator_;
  job.lambert = lambert_;
  job.soldner = conversion.dialog == ConversionDialog::SoldnerBaden ? baden_ : soldner_;
  job.greenwich = conversion.dialog == ConversionDialog::SoldnerBaden && greenwich_;
  return true;
}

bool ConversionPage::compute() {
  const QString output = output_->text().trimmed();
  if (!services::checkWriteAccess(this, output)) return false;
  const int code = services::currentTreeValue(tree_, kGroupValue);
  const ConversionInfo* conversion = FindConversion(code);
  if (conversion == nullptr) {
    showInformation(this, uiText(str::NoComputationSelected));
    return false;
  }
  // The input is tried before the option dialog: a wrong name costs no
  // filled-in dialog.
  const QString input = input_->text().trimmed();
  if (input.isEmpty()) {
    showInformation(this, uiText(str::NoInputName));
    return false;
  }
  if (!services::checkReadable(this, input, str::InputNotOpened)) return false;
  ConversionJob job;
  job.inputPath = input.toStdString();
  job.outputPath = output.toStdString();
  job.settings = settings_->settings();
  job.ellipsoid = settings_->currentEllipsoid();
  job.centralMeridian = centralMeridian_;
  job.austrianMeridian = austrianMeridian_;
  job.mercator = mercator_;
  job.lambert = lambert_;
  job.soldner = soldner_;
  if (!prompt_(*conversion, job)) return false;
  GuiHost host(this);
  host.holdMessages();
  ConversionResult result;
  // A .csv or .tsv file is read and written as delimited fields.
  const ScopedPointForms forms({.byFileName = true},
                               {.byFileName = true, .utf8 = settings_->settings().encoding == 1});
  const bool done = host.run([&] { return int(RunConversion(*conversion, job, library_, host, &result)); }) != 0;
  RunOutcome outcome = PointRunOutcome(output, result, QString::fromStdString(settings_->settings().editor));
  outcome.ellipsoid = ellipsoidText(result.ellipsoid, conversion->ellipsoid != FixedEllipsoid::None);
  host.finishRun(done, str::ConversionFinished, 0, outcome);
  return done;
}

}  // namespace pelmar::ui
