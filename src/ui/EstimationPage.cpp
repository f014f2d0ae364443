#include "ui/EstimationPage.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QFontDatabase>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <unordered_map>

#include "app/StringIds.h"
#include "app/LanguageTable.h"
#include "estimation/PlaneEstimation.h"
#include "estimation/EstimationSections.h"
#include "estimation/ResidualPlot.h"
#include "estimation/ResultsText.h"
#include "estimation/SpatialEstimation.h"
#include "ui/EstimationOptionsDialog2D.h"
#include "ui/EstimationOptionsDialog3D.h"
#include "ui/EstimationOptionsDialog3DBL.h"
#include "ui/GuiHost.h"
#include "ui/MessageBoxes.h"
#include "ui/PageKeys.h"
#include "ui/PageServices.h"
#include "ui/ResidualPlotView.h"
#include "ui/SessionState.h"
#include "ui/SettingsPage.h"
#include "ui/StoredTransformationsPage.h"
#include "ui/UiText.h"
#include "text/TextForm.h"

namespace pelmar::ui {

namespace {
// Entries not yet available are shown but cannot be chosen.
constexpr int kAvailableEntries = 5;
constexpr int kEllipsoidalEntry = 4;
// "SaveParams" and "SavePPInfo" of the spatial option dialogs can be used.
constexpr bool kStoringAvailable = true;
}  // namespace

EstimationPage::EstimationPage(SettingsPage* settings, std::filesystem::path home, QWidget* parent)
    : QWidget(parent), settings_(settings), home_(std::move(home)) {
  auto* layout = new QVBoxLayout(this);
  list_ = new QTreeWidget(this);
  list_->setColumnCount(1);
  list_->setHeaderLabels({uiText(str::ListHeading)});
  list_->setRootIsDecorated(false);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setAllColumnsShowFocus(true);
  const int entries[] = {str::ListSimilarity, str::ListAffine, str::ListHelmert, str::ListHelmertL1,
                         str::ListEllipsoidal};
  for (int i = 0; i < 5; ++i) {
    auto* item = new QTreeWidgetItem(list_, {uiText(entries[i])});
    item->setData(0, Qt::UserRole, i);
    if (i >= kAvailableEntries) item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
  }
  // The first entry is chosen, and looks it: a current entry without the
  // selection looked chosen in some styles while Compute refused it.
  list_->setCurrentItem(list_->topLevelItem(0));
  list_->topLevelItem(0)->setSelected(true);
  list_->setMinimumHeight(list_->sizeHintForRow(0) * 5 + list_->header()->sizeHint().height() + 8);
  list_->setMaximumHeight(list_->minimumHeight() + 20);
  layout->addWidget(list_);

  auto* grid = new QGridLayout;
  report_ = addFileRow(grid, 0, str::LabelReportFile, false, str::FilterReports, str::TitleChooseReport,
                       QStringLiteral("*.aus"), true, "EstimationReport");
  source_ = addFileRow(grid, 1, str::LabelSourceFile, true, str::FilterPointFiles, str::TitleChooseSource,
                       QStringLiteral("*.txt"), true, "EstimationSource");
  target_ = addFileRow(grid, 2, str::LabelTargetFile, true, str::FilterPointFiles, str::TitleChooseTarget,
                       QStringLiteral("*.txt"), true, "EstimationTarget");
  output_ = addFileRow(grid, 3, str::LabelOutputFile, false, str::FilterPointFiles, str::TitleChooseOutput,
                       QStringLiteral("*.txt"), false, "EstimationOutput");
  grid->setColumnStretch(1, 1);
  layout->addLayout(grid);
  // The free area below the files shows the last run's numbers and its
  // residual plot side by side; both stay until the next run.
  auto* split = new QSplitter(Qt::Horizontal, this);
  results_ = new QPlainTextEdit(split);
  results_->setReadOnly(true);
  results_->setLineWrapMode(QPlainTextEdit::NoWrap);
  results_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  results_->setPlaceholderText(uiText(str::ResultsTitle));
  plot_ = new ResidualPlotView(split);
  split->addWidget(results_);
  split->addWidget(plot_);
  // The numbers need about sixty columns; the plot takes the rest.
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);
  split->setSizes({3000, 2000});
  layout->addWidget(split, 1);
  auto* buttons = new QHBoxLayout;
  plotWindow_ = new QPushButton(uiText(str::ButtonPlotWindow), this);
  plotWindow_->setEnabled(false);
  connect(plotWindow_, &QPushButton::clicked, this, &EstimationPage::openPlotWindow);
  auto* compute = new QPushButton(uiText(str::ButtonCompute), this);
  compute->setObjectName(kComputeButtonName);  // Ctrl+Enter presses it
  buttons->addWidget(plotWindow_);
  buttons->addStretch(1);
  buttons->addWidget(compute);
  layout->addLayout(buttons);
  connect(compute, &QPushButton::clicked, this, &EstimationPage::compute);

  prompt_ = [this](const SettingsStore& store) -> std::optional<EstimationOptions2D> {
    EstimationOptionsDialog2D dialog(store, this);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.options();
  };
  prompt3D_ = [this](const SettingsStore& store, SpatialModel model) -> std::optional<EstimationOptions3D> {
    EstimationOptionsDialog3D dialog(store, kStoringAvailable, model, this);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.options();
  };
  prompt3DBL_ = [this](const SettingsStore& store,
                       const EllipsoidList& ellipsoids) -> std::optional<EllipsoidalChoice> {
    EstimationOptionsDialog3DBL dialog(store, ellipsoids, kStoringAvailable, this);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return EllipsoidalChoice{dialog.options(), dialog.sourceEllipsoid(), dialog.targetEllipsoid()};
  };
}

QLineEdit* EstimationPage::addFileRow(QGridLayout* grid, int row, int labelId, bool input, int filterId, int titleId,
                                      const QString& pattern, bool showButton, const char* key) {
  auto* label = new QLabel(uiText(labelId), this);
  auto* edit = new QLineEdit(this);
  edit->setMinimumWidth(320);
  label->setBuddy(edit);
  auto* choose = new QPushButton(uiText(str::ButtonChoose), this);
  auto* view = services::viewButton(this);
  grid->addWidget(label, row, 0);
  grid->addWidget(edit, row, 1);
  grid->addWidget(choose, row, 2);
  grid->addWidget(view, row, 3);
  connect(choose, &QPushButton::clicked, this, [=, this] {
    const QString path = input ? services::chooseInputFile(this, uiText(filterId), uiText(titleId), edit->text(), key)
                               : services::chooseOutputFile(this, uiText(filterId), uiText(titleId), edit->text(),
                                                            pattern, key);
    if (!path.isEmpty()) edit->setText(path);
  });
  connect(view, &QPushButton::clicked, this, [=, this] {
    if (!edit->text().isEmpty()) {
      services::viewFile(this, QString::fromStdString(settings_->settings().editor), edit->text());
    }
  });
  if (showButton) {
    auto* show = services::showButton(this);
    grid->addWidget(show, row, 4);
    connect(show, &QPushButton::clicked, this, [=, this] {
      if (!edit->text().isEmpty()) services::showFile(this, edit->text());
    });
  }
  return edit;
}

namespace {
const char* const kFieldKeys[] = {"EstimationReport", "EstimationSource", "EstimationTarget", "EstimationOutput"};
}

void EstimationPage::saveSession() const {
  saveFields({{kFieldKeys[0], report_}, {kFieldKeys[1], source_}, {kFieldKeys[2], target_}, {kFieldKeys[3], output_}});
  const QTreeWidgetItem* item = list_->currentItem();
  setSessionText("EstimationEntry", item != nullptr && item->isSelected()
                                        ? QString::number(item->data(0, Qt::UserRole).toInt())
                                        : QString());
}

void EstimationPage::restoreSession() {
  restoreFields({{kFieldKeys[0], report_}, {kFieldKeys[1], source_}, {kFieldKeys[2], target_}, {kFieldKeys[3], output_}});
  const std::optional<QString> entry = sessionText("EstimationEntry");
  if (!entry || entry->isEmpty()) return;
  const int index = entry->toInt();
  if (index >= 0 && index < list_->topLevelItemCount()) {
    list_->setCurrentItem(list_->topLevelItem(index));
    list_->topLevelItem(index)->setSelected(true);
  }
}

bool EstimationPage::compute() {
  declined_ = false;
  const bool done = run();
  // The plot stands only beside the run that made it: a start refused (a
  // wrong file name) or a failed run takes it away; withdrawing from the
  // options dialog changes nothing.
  if (!done && !declined_) {
    plot_->clear();
    results_->clear();
    plotWindow_->setEnabled(false);
  }
  return done;
}

bool EstimationPage::run() {
  const QTreeWidgetItem* item = list_->currentItem();
  if (item == nullptr || !(item->flags() & Qt::ItemIsEnabled) || !item->isSelected()) {
    showInformation(this, uiText(str::NoComputationChosen));
    return false;
  }
  const int entry = item->data(0, Qt::UserRole).toInt();
  const struct {
    QLineEdit* edit;
    int message;
  } required[] = {{report_, str::NoReportName}, {source_, str::NoSourceName}, {target_, str::NoTargetName}};
  for (const auto& r : required) {
    if (r.edit->text().trimmed().isEmpty()) {
      showInformation(this, uiText(r.message));
      return false;
    }
  }
  if (!services::checkWriteAccess(this, report_->text().trimmed())) return false;
  if (!output_->text().trimmed().isEmpty() && !services::checkWriteAccess(this, output_->text().trimmed())) {
    return false;
  }
  EstimationJob job;
  job.sourcePath = source_->text().trimmed().toStdString();
  job.targetPath = target_->text().trimmed().toStdString();
  job.reportPath = report_->text().trimmed().toStdString();
  job.outputPath = output_->text().trimmed().toStdString();
  job.plotPath = PlotPathBesideReport(job.reportPath);
  job.settings = settings_->settings();
  // Both point files are tried before the options are asked for: a wrong
  // name costs no dialog.
  if (!services::checkReadable(this, source_->text().trimmed(), str::SourceUnreadable)) return false;
  if (entry == kEllipsoidalEntry) return computeEllipsoidal(job) == 1;
  if (!services::checkReadable(this, target_->text().trimmed(), str::TargetUnreadable)) return false;
  int done = 0;
  EstimationSummary summary;
  if (entry <= 1) {
    const std::optional<EstimationOptions2D> options = prompt_(settings_->settingsStore());
    if (!options) {
      declined_ = true;
      return false;
    }
    GuiHost host(this);
    host.holdMessages();
    const PlaneModel model = entry == 0 ? PlaneModel::Similarity : PlaneModel::Affine;
    // A .csv or .tsv file is read and written as delimited fields.
    const ScopedPointForms forms({.byFileName = true},
                               {.byFileName = true, .utf8 = settings_->settings().encoding == 1});
    done = host.run(
        [&] { return Estimate2D(job, model, options->type, options->writeIdentical, options->center, host, &summary); });
    showPlot(done, summary, host.language());
    finishRun(host, done == 1, job, summary);
  } else {
    const SpatialModel model = entry == 2 ? SpatialModel::Rigorous : SpatialModel::Linearised;
    const std::optional<EstimationOptions3D> options = prompt3D_(settings_->settingsStore(), model);
    if (!options) {
      declined_ = true;
      return false;
    }
    GuiHost host(this);
    host.holdMessages();
    const ScopedPointForms forms({.byFileName = true},
                               {.byFileName = true, .utf8 = settings_->settings().encoding == 1});
    done = host.run([&] { return EstimateSpatial(job, model, options->forModel(model), host, &lastSet_, &summary); });
    showPlot(done, summary, host.language());
    finishRun(host, done == 1, job, summary);
    if (done == 1 && options->saveParams != 0) offerLastSet(options->savePointInfo != 0);
  }
  return done == 1;
}

namespace {

// What the plot names for each of its points: the name and verdict, the
// residuals in the files' axes and the test's T and F.
QStringList PointTexts(const EstimationSummary& summary) {
  std::unordered_map<std::string, const PointTest*> tests;
  for (const PointTest& t : summary.points) tests.emplace(t.name, &t);
  QStringList texts;
  for (const PlotPoint& p : summary.plot.points) {
    const auto found = tests.find(p.name);
    const PointTest* t = found != tests.end() ? found->second : nullptr;
    const int verdict = !p.tested ? str::VerdictNotTested : p.flagged ? str::VerdictGrossError : str::VerdictAccepted;
    QString text = QString::fromStdString(utf8Name(p.name)) + ": " + uiText(verdict);
    if (t != nullptr) {
      QStringList parts;
      for (std::size_t c = 0; c < t->residuals.size() && c < summary.testAxes.size(); ++c) {
        parts << QString::fromStdString(summary.testAxes[c] + " = " + FixedText(t->residuals[c] * 1000.0, 1) + " mm");
      }
      text += "\n" + uiText(str::PlotPointTip, {parts.join(", ")});
      if (t->tested) {
        text += QStringLiteral("\nT = %1, F = %2").arg(t->T, 0, 'f', 2).arg(t->F, 0, 'f', 2);
      }
    }
    texts << text;
  }
  return texts;
}

}  // namespace

void EstimationPage::showPlot(int done, const EstimationSummary& summary, const LanguageTable& table) {
  if (done != 1) {
    plot_->clear();
    results_->clear();
    plotWindow_->setEnabled(false);
    return;
  }
  const std::string svg = ResidualPlotSvg(summary.plot, table);
  plotWindow_->setEnabled(plot_->setSvg(QByteArray(svg.data(), static_cast<qsizetype>(svg.size())),
                                        PointTexts(summary)));
  results_->setPlainText(QString::fromStdString(ResultsText(summary, table)));
}

ResidualPlotView* EstimationPage::openPlotWindow() {
  if (!plot_->hasPlot()) return nullptr;
  auto* window = new QWidget(this, Qt::Window);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->setWindowTitle(uiText(str::PlotWindowTitle) + QStringLiteral(" – Pelmar"));
  auto* layout = new QVBoxLayout(window);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* view = new ResidualPlotView(window);
  view->setSvg(plot_->svg(), plot_->pointTexts());
  layout->addWidget(view);
  window->resize(900, 760);
  window->show();
  return view;
}

void EstimationPage::finishRun(GuiHost& host, bool done, const EstimationJob& job, const EstimationSummary& summary) {
  RunOutcome outcome;
  outcome.firstIsReport = true;
  outcome.written = {QString::fromStdString(job.reportPath.string())};
  // An output file that could not be made was told; the run went on without
  // it. (A refused one, read-only say, is told by its reason, not by
  // OutputNotCreated: the run's own account is asked.)
  const bool output = !job.outputPath.empty() && summary.outputWritten;
  if (output) {
    outcome.written << QString::fromStdString(job.outputPath.string());
    outcome.pointsWritten = summary.pointsWritten;
  }
  // So is a residual plot that could not be written.
  if (!job.plotPath.empty() && !host.said(str::ResidualPlotNotWritten)) {
    outcome.written << QString::fromStdString(job.plotPath.string());
  }
  outcome.pointsLeftOut = summary.pointsLeftOut;
  outcome.linesUnreadable = summary.linesUnreadable;
  outcome.grossErrors = std::count_if(summary.points.begin(), summary.points.end(),
                                      [](const PointTest& test) { return test.outlier; });
  outcome.editor = QString::fromStdString(settings_->settings().editor);
  host.finishRun(done, str::EstimationDone, str::EstimationFailed, outcome);
}

void EstimationPage::offerLastSet(bool withPoints) {
  if (stored_ == nullptr) return;
  TransformationSet set = lastSet_;
  if (!withPoints && settings_->settings().interpolationActive == 1) showInformation(this, uiText(str::StoredWithoutPoints));
  if (!withPoints) set.points.clear();
  stored_->offerSet(set, str::SetDialogTitleStore);
}

int EstimationPage::computeEllipsoidal(const EstimationJob& paths) {
  // The source file was tried before: a wrong name costs no dialog. (The
  // target of this estimation may hold heights only, and is read by the job.)
  const std::optional<EllipsoidalChoice> choice = prompt3DBL_(settings_->settingsStore(), settings_->ellipsoids());
  if (!choice) {
    declined_ = true;
    return 0;
  }
  if (!library_.usable() && !library_.Open(home_)) {
    showError(this, uiText(str::ProjectionLibraryMissing));
    return 0;
  }
  EllipsoidalJob job;
  job.sourcePath = paths.sourcePath;
  job.targetPath = paths.targetPath;
  job.reportPath = paths.reportPath;
  job.outputPath = paths.outputPath;
  job.plotPath = paths.plotPath;
  job.settings = paths.settings;
  job.options = choice->options;
  job.sourceEllipsoid = choice->sourceEllipsoid;
  job.targetEllipsoid = choice->targetEllipsoid;
  GuiHost host(this);
  host.holdMessages();
  EstimationSummary summary;
  int done = 0;
  {
    const ScopedPointForms forms({.byFileName = true},
                               {.byFileName = true, .utf8 = settings_->settings().encoding == 1});
    done = host.run([&] { return EstimateEllipsoidalHelmert(job, library_, host, &summary); });
  }
  showPlot(done, summary, host.language());
  finishRun(host, done == 1, paths, summary);
  if (done != 1) return done;
  lastSet_ = std::move(job.set);
  // A set holds one scale factor: a run with plan and height scales is never
  // offered (its options dialog withdraws "SaveParams" already).
  if (job.options.saveParams != 0 && job.options.groups().scaleKind != 2) {
    offerLastSet(job.options.savePointInfo != 0);
  }
  return done;
}

}  // namespace pelmar::ui
