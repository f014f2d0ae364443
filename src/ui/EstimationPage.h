#pragma once

#include <QWidget>

#include <filesystem>
#include <functional>
#include <optional>

#include "conversion/ProjectionLibrary.h"
#include "estimation/EllipsoidalEstimation.h"
#include "estimation/EstimationJob.h"
#include "estimation/SpatialEstimation.h"

class QGridLayout;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace pelmar::ui {

class GuiHost;
class ResidualPlotView;
class SettingsPage;
class StoredTransformationsPage;

// What the options dialog of the ellipsoidal estimation returns.
struct EllipsoidalChoice {
  EstimationOptions3DBL options;
  EllipsoidRecord sourceEllipsoid;
  EllipsoidRecord targetEllipsoid;
};

// The parameter-estimation page: the list of computations, the report,
// source, target and output files, and the compute command.
class EstimationPage : public QWidget {
  Q_OBJECT

 public:
  // `home` is the program directory, where the projection library lies.
  EstimationPage(SettingsPage* settings, std::filesystem::path home, QWidget* parent = nullptr);

  QTreeWidget* list() const noexcept { return list_; }
  QLineEdit* reportEdit() const noexcept { return report_; }
  QLineEdit* sourceEdit() const noexcept { return source_; }
  QLineEdit* targetEdit() const noexcept { return target_; }
  QLineEdit* outputEdit() const noexcept { return output_; }
  // The residual plot of the last successful run.
  ResidualPlotView* plotView() const noexcept { return plot_; }
  // The last run's numbers as text (empty before the first run and after a failed one).
  QPlainTextEdit* resultsPanel() const noexcept { return results_; }
  // Opens the plot in a window of its own (none without a plot); returns it.
  ResidualPlotView* openPlotWindow();

  // Runs the selected computation; false when it did not run or failed.
  bool compute();

  // What the page remembers between runs (see SessionState).
  void saveSession() const;
  void restoreSession();

  // Shows the options dialog; nullopt when the user cancels. Tests replace it.
  using OptionsPrompt = std::function<std::optional<EstimationOptions2D>(const SettingsStore&)>;
  void setOptionsPrompt(OptionsPrompt prompt) { prompt_ = std::move(prompt); }
  using OptionsPrompt3D = std::function<std::optional<EstimationOptions3D>(const SettingsStore&, SpatialModel)>;
  void setOptionsPrompt3D(OptionsPrompt3D prompt) { prompt3D_ = std::move(prompt); }
  using OptionsPrompt3DBL =
      std::function<std::optional<EllipsoidalChoice>(const SettingsStore&, const EllipsoidList&)>;
  void setOptionsPrompt3DBL(OptionsPrompt3DBL prompt) { prompt3DBL_ = std::move(prompt); }

  // The parameter set of the last successful spatial or ellipsoidal run, for
  // storing it.
  const TransformationSet& lastSet() const noexcept { return lastSet_; }

  // Where a run with "SaveParams" on offers its set; none: nothing is offered.
  void setStoredTransformations(StoredTransformationsPage* page) noexcept { stored_ = page; }

 private:
  QLineEdit* addFileRow(QGridLayout* grid, int row, int labelId, bool input, int filterId, int titleId,
                        const QString& pattern, bool showButton, const char* key);
  // compute() without its care of the plot.
  bool run();
  int computeEllipsoidal(const EstimationJob& paths);
  // The one box that ends a run: its result with the files and counts, or
  // its failure with the cause.
  void finishRun(GuiHost& host, bool done, const EstimationJob& job, const EstimationSummary& summary);
  void offerLastSet(bool withPoints);
  // Shows the run's plot, or clears the view when the run failed.
  void showPlot(int done, const EstimationSummary& summary, const LanguageTable& table);

  SettingsPage* settings_;
  std::filesystem::path home_;
  ProjectionLibrary library_;  // opened at the first ellipsoidal run
  QTreeWidget* list_ = nullptr;
  QLineEdit* report_ = nullptr;
  QLineEdit* source_ = nullptr;
  QLineEdit* target_ = nullptr;
  QLineEdit* output_ = nullptr;
  ResidualPlotView* plot_ = nullptr;
  QPlainTextEdit* results_ = nullptr;
  QPushButton* plotWindow_ = nullptr;
  bool declined_ = false;  // the last compute() ended in its options dialog
  OptionsPrompt prompt_;
  OptionsPrompt3D prompt3D_;
  OptionsPrompt3DBL prompt3DBL_;
  TransformationSet lastSet_;
  StoredTransformationsPage* stored_ = nullptr;
};

}  // namespace pelmar::ui
