#include "ui/GridShiftPage.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

#include "app/StringIds.h"
#include "app/JobHost.h"
#include "ntv2/GridShift.h"
#include "ntv2/NTv2Grid.h"
#include "ui/GuiHost.h"
#include "ui/MessageBoxes.h"
#include "ui/PageKeys.h"
#include "ui/PageServices.h"
#include "ui/SessionState.h"
#include "ui/SettingsPage.h"
#include "ui/UiText.h"
#include "text/TextForm.h"

namespace pelmar::ui {

GridShiftPage::GridShiftPage(SettingsPage* settings, QWidget* parent) : QWidget(parent), settings_(settings) {
  auto* layout = new QVBoxLayout(this);
  auto* files = new QGridLayout;
  auto editor = [this] { return QString::fromStdString(settings_->settings().editor); };

  auto* gridLabel = new QLabel(uiText(str::LabelGridFile), this);
  grid_ = new QLineEdit(this);
  gridLabel->setBuddy(grid_);
  auto* choose = new QPushButton(uiText(str::ButtonChoose), this);
  auto* view = services::viewButton(this);
  files->addWidget(gridLabel, 0, 0);
  files->addWidget(grid_, 0, 1);
  files->addWidget(choose, 0, 2);
  files->addWidget(view, 0, 3);
  connect(choose, &QPushButton::clicked, this, &GridShiftPage::chooseGrid);
  connect(view, &QPushButton::clicked, this, [this, editor] {
    if (!grid_->text().isEmpty()) services::viewFile(this, editor(), grid_->text());
  });
  info_ = new QLabel(this);
  info_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  info_->setWordWrap(true);
  files->addWidget(info_, 1, 1, 1, 3);
  connect(grid_, &QLineEdit::editingFinished, this, &GridShiftPage::describeGrid);
  input_ = services::addPointFileRow(this, files, 2, str::LabelInputFile, true, editor, {}, "GridShiftInput");
  output_ = services::addPointFileRow(this, files, 3, str::LabelOutputPointFile, false, editor, {}, "GridShiftOutput");
  files->setColumnStretch(1, 1);
  layout->addLayout(files);

  finest_ = new QCheckBox(uiText(str::CheckFinestSubGrid), this);
  layout->addWidget(finest_);
  auto* direction = new QGroupBox(uiText(str::GroupShiftDirection), this);
  auto* directionLayout = new QVBoxLayout(direction);
  forward_ = new QRadioButton(uiText(str::OptionShiftForward), direction);
  inverse_ = new QRadioButton(uiText(str::OptionShiftInverse), direction);
  forward_->setChecked(true);
  directionLayout->addWidget(forward_);
  directionLayout->addWidget(inverse_);
  layout->addWidget(direction);
  layout->addStretch(1);

  auto* bottom = new QHBoxLayout;
  compute_ = new QPushButton(uiText(str::ButtonCompute), this);
  compute_->setObjectName(kComputeButtonName);  // Ctrl+Enter presses it
  bottom->addStretch(1);
  bottom->addWidget(compute_);
  layout->addLayout(bottom);
  connect(compute_, &QPushButton::clicked, this, &GridShiftPage::compute);
}

void GridShiftPage::chooseGrid() {
  // Grids come as binary .gsb files and in the ASCII form, named .gsa or .txt.
  const QString path = services::chooseInputFile(this, uiText(str::FilterGridFiles), uiText(str::TitleChooseGridFile),
                                                 grid_->text(), "GridShiftGrid", QStringLiteral("*.gsb *.gsa *.txt"));
  if (path.isEmpty()) return;
  grid_->setText(path);
  describeGrid();
}

namespace {
// Arc seconds as signed decimal degrees, up to four decimals.
QString degrees(double seconds) {
  QString text = QString::number(seconds / 3600.0, 'f', 4);
  while (text.endsWith('0')) text.chop(1);
  if (text.endsWith('.')) text.chop(1);
  return text + QChar(0x00B0);
}
}  // namespace

void GridShiftPage::describeGrid() {
  const QString path = grid_->text().trimmed();
  if (path == described_) return;
  described_ = path;
  if (path.isEmpty()) return info_->clear();
  // Only a file is read: a FIFO or a device would hold the window.
  if (!QFileInfo(path).isFile()) {
    info_->setText(uiText(str::FileCannotBeOpened, {path}));
    return;
  }
  NTv2Grid grid;
  QuietHost host(languageTable());
  if (grid.Load(path.toStdString(), host) != 0) {
    info_->setText(host.said.empty() ? QString() : QString::fromStdString(host.said.front()));
    return;
  }
  // The extent of the top-level grids (of all, when none names itself so);
  // longitudes are stored positive west.
  const bool anyTop = std::any_of(grid.subGrids.begin(), grid.subGrids.end(),
                                  [](const NTv2Grid::SubGrid& g) { return g.parent.empty() || g.parent == "NONE"; });
  double south = 1e300, north = -1e300, east = 1e300, west = -1e300;
  for (const NTv2Grid::SubGrid& g : grid.subGrids) {
    if (anyTop && !g.parent.empty() && g.parent != "NONE") continue;
    south = std::min(south, g.south), north = std::max(north, g.north);
    east = std::min(east, g.east), west = std::max(west, g.west);
  }
  if (grid.subGrids.empty()) return info_->clear();
  info_->setText(uiText(str::GridInfo, {QString::fromStdString(grid.systemFrom), QString::fromStdString(grid.systemTo),
                                        QString::number(grid.subGrids.size()), degrees(south), degrees(north),
                                        degrees(-west), degrees(-east)}));
}

void GridShiftPage::saveSession() const {
  saveFields({{"GridShiftGrid", grid_}, {"GridShiftInput", input_}, {"GridShiftOutput", output_}});
  setSessionText("GridShiftFinest", finest_->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
  setSessionText("GridShiftInverse", inverse_->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

void GridShiftPage::restoreSession() {
  restoreFields({{"GridShiftGrid", grid_}, {"GridShiftInput", input_}, {"GridShiftOutput", output_}});
  if (const std::optional<QString> finest = sessionText("GridShiftFinest")) finest_->setChecked(*finest == "1");
  if (const std::optional<QString> inverse = sessionText("GridShiftInverse")) {
    (*inverse == "1" ? inverse_ : forward_)->setChecked(true);
  }
  // The grid is described when the page is first shown, not at start-up.
}

void GridShiftPage::showEvent(QShowEvent* event) {
  describeGrid();
  QWidget::showEvent(event);
}

bool GridShiftPage::compute() {
  const QString grid = grid_->text().trimmed();
  const QString input = input_->text().trimmed();
  const QString output = output_->text().trimmed();
  const std::pair<const QString*, int> required[] = {
      {&grid, str::NoGridName}, {&input, str::NoInputName}, {&output, str::NoOutputName}};
  for (const auto& [name, id] : required) {
    if (name->isEmpty()) {
      showInformation(this, uiText(id));
      return false;
    }
  }
  if (!services::checkWriteAccess(this, output)) return false;
  GridShiftJob job;
  job.gridPath = grid.toStdString();
  job.inputPath = input.toStdString();
  job.outputPath = output.toStdString();
  job.finest = finest_->isChecked();
  job.inverse = inverse_->isChecked();
  job.keepRest = settings_->settings().keepRest != 0;
  GuiHost host(this);
  host.holdMessages();
  GridShiftResult result;
  // A .csv or .tsv file is read and written as delimited fields.
  const ScopedPointForms forms({.byFileName = true},
                               {.byFileName = true, .utf8 = settings_->settings().encoding == 1});
  const bool done = host.run([&] { return int(RunGridShift(job, host, &result)); }) != 0;
  host.finishRun(done, str::GridShiftDone, 0,
                 PointRunOutcome(output, result, QString::fromStdString(settings_->settings().editor)));
  return done;
}

}  // namespace pelmar::ui
