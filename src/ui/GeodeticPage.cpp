#include "ui/GeodeticPage.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/StringIds.h"
#include "geodesy/GeodeticBatch.h"
#include "ui/GuiHost.h"
#include "ui/MessageBoxes.h"
#include "ui/PageKeys.h"
#include "ui/PageServices.h"
#include "ui/SessionState.h"
#include "ui/SettingsPage.h"
#include "ui/UiText.h"
#include "text/TextForm.h"

namespace pelmar::ui {

namespace {

struct TaskGroup {
  int labelId;
  std::pair<int, GeodeticTask> leaves[2];  // label and task
};

const TaskGroup kTree[] = {
    {str::GroupGeodeticProblems,
     {{str::TaskDirect, GeodeticTask::Direct}, {str::TaskInverse, GeodeticTask::Inverse}}},
    {str::GroupMeridianArc,
     {{str::TaskArcLength, GeodeticTask::ArcLength}, {str::TaskLatitudeFromArc, GeodeticTask::LatitudeFromArc}}},
};

// Group items carry this value: they name no task and cannot run.
constexpr int kGroupValue = -1;

}  // namespace

GeodeticPage::GeodeticPage(SettingsPage* settings, const std::filesystem::path& home, QWidget* parent)
    : QWidget(parent), settings_(settings) {
  // Opened once; whether they are usable is told when a task is to run.
  ellipsoids_.Open(home);
  projections_.Open(home);

  auto* layout = new QVBoxLayout(this);
  tree_ = new QTreeWidget(this);
  tree_->setHeaderHidden(true);
  for (const TaskGroup& group : kTree) {
    auto* top = new QTreeWidgetItem(tree_, {uiText(group.labelId)});
    top->setData(0, Qt::UserRole, kGroupValue);
    for (const auto& [labelId, task] : group.leaves) {
      auto* leaf = new QTreeWidgetItem(top, {uiText(labelId)});
      leaf->setData(0, Qt::UserRole, static_cast<int>(task));
    }
  }
  tree_->expandAll();
  layout->addWidget(tree_, 1);
  // The tasks compute on the settings' ellipsoid: it is named here.
  ellipsoid_ = new QLabel(this);
  ellipsoid_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(ellipsoid_);

  auto* grid = new QGridLayout;
  auto editor = [this] { return QString::fromStdString(settings_->settings().editor); };
  input_ = services::addPointFileRow(this, grid, 0, str::LabelInputFile, true, editor, {}, "GeodeticInput");
  // The results of the direct and inverse problem are reports with a
  // header: the output chooser offers "*.aus".
  output_ = services::addPointFileRow(this, grid, 1, str::LabelOutputPointFile, false, editor,
                                      {str::FilterGeodeticResults, QStringLiteral("*.aus")}, "GeodeticOutput");
  grid->setColumnStretch(1, 1);
  layout->addLayout(grid);

  auto* buttons = new QHBoxLayout;
  auto* compute = new QPushButton(uiText(str::ButtonCompute), this);
  compute->setObjectName(kComputeButtonName);  // Ctrl+Enter presses it
  buttons->addStretch(1);
  buttons->addWidget(compute);
  layout->addLayout(buttons);
  connect(compute, &QPushButton::clicked, this, &GeodeticPage::compute);
}

void GeodeticPage::showEvent(QShowEvent* event) {
  ellipsoid_->setText(ellipsoidText(settings_->currentEllipsoid()));
  QWidget::showEvent(event);
}

bool GeodeticPage::selectTask(int task) { return services::selectTreeValue(tree_, task); }

void GeodeticPage::saveSession() const {
  saveFields({{"GeodeticInput", input_}, {"GeodeticOutput", output_}});
  const int task = services::currentTreeValue(tree_, kGroupValue);
  setSessionText("GeodeticTask", task != kGroupValue ? QString::number(task) : QString());
}

void GeodeticPage::restoreSession() {
  restoreFields({{"GeodeticInput", input_}, {"GeodeticOutput", output_}});
  if (const std::optional<QString> task = sessionText("GeodeticTask")) selectTask(task->toInt());
}

bool GeodeticPage::compute() {
  const QString input = input_->text().trimmed();
  const QString output = output_->text().trimmed();
  if (input.isEmpty()) {
    showInformation(this, uiText(str::NoInputName));
    return false;
  }
  if (output.isEmpty()) {
    showInformation(this, uiText(str::NoOutputName));
    return false;
  }
  if (!services::checkWriteAccess(this, output)) return false;
  const int task = services::currentTreeValue(tree_, kGroupValue);
  if (task < static_cast<int>(GeodeticTask::Direct) || task > static_cast<int>(GeodeticTask::LatitudeFromArc)) {
    showInformation(this, uiText(str::NoGeodeticTaskSelected));
    return false;
  }
  if (!ellipsoids_.usable()) {
    showError(this, uiText(str::EllipsoidLibraryMissing));
    return false;
  }
  if (!projections_.usable()) {
    showError(this, uiText(str::ProjectionLibraryMissing));
    return false;
  }
  GeodeticJob job;
  job.inputPath = input.toStdString();
  job.outputPath = output.toStdString();
  job.settings = settings_->settings();
  job.ellipsoid = settings_->currentEllipsoid();
  job.task = static_cast<GeodeticTask>(task);
  GuiHost host(this);
  host.holdMessages();
  GeodeticResult result;
  // A .csv or .tsv file is read and written as delimited fields.
  const ScopedPointForms forms({.byFileName = true},
                               {.byFileName = true, .utf8 = settings_->settings().encoding == 1});
  const bool done =
      host.run([&] { return int(RunGeodeticTask(job, ellipsoids_, projections_, host, &result)); }) != 0;
  RunOutcome outcome;
  outcome.written = {output};
  outcome.linesWritten = result.linesWritten;
  outcome.linesLeftOut = result.linesLeftOut;
  outcome.linesUnreadable = result.linesUnreadable;
  outcome.editor = QString::fromStdString(settings_->settings().editor);
  outcome.ellipsoid = ellipsoidText(job.ellipsoid);
  host.finishRun(done, str::GeodeticFinished, 0, outcome);
  return done;
}

}  // namespace pelmar::ui
